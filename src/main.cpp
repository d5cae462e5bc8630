#include "app/ui/VoxlaneApplication.h"

int main(int argc, char *argv[])
{
    VoxlaneApplication app(argc, argv);
    VoxlaneApplication::installErrorBox();
    return app.exec();
}
