// Makes the files an installation ships besides the programs: the
// application icon at the sizes desktops ask for, and the pop-up alert
// sound. Both are drawn here, so the tree holds no binary assets and every
// build makes the same bytes.
//   voxlane-assetmaker icon SIZE FILE.png
//   voxlane-assetmaker sound FILE.wav
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Two arrows, one going up and one coming down, on a blue rounded square:
// files leaving and arriving.
QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF box(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, QColor(0x4f, 0x8f, 0xe0));
    fill.setColorAt(1, QColor(0x1f, 0x4f, 0x9f));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(box, s * 0.2, s * 0.2);

    auto arrow = [&](qreal centreX, bool up) {
        const qreal w = s * 0.26, stem = s * 0.09;
        const qreal top = s * 0.2, bottom = s * 0.8, head = s * 0.22;
        QPainterPath path;
        if (up) {
            path.moveTo(centreX, top);
            path.lineTo(centreX + w / 2, top + head);
            path.lineTo(centreX + stem / 2, top + head);
            path.lineTo(centreX + stem / 2, bottom);
            path.lineTo(centreX - stem / 2, bottom);
            path.lineTo(centreX - stem / 2, top + head);
            path.lineTo(centreX - w / 2, top + head);
        } else {
            path.moveTo(centreX, bottom);
            path.lineTo(centreX + w / 2, bottom - head);
            path.lineTo(centreX + stem / 2, bottom - head);
            path.lineTo(centreX + stem / 2, top);
            path.lineTo(centreX - stem / 2, top);
            path.lineTo(centreX - stem / 2, bottom - head);
            path.lineTo(centreX - w / 2, bottom - head);
        }
        path.closeSubpath();
        p.setBrush(up ? QColor(Qt::white) : QColor(0xff, 0xd2, 0x4a));
        p.drawPath(path);
    };
    arrow(s * 0.35, true);
    arrow(s * 0.65, false);
    p.end();
    return image;
}

void putLe(std::vector<unsigned char> &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xff));
}

// A short two-note chime, 16-bit mono PCM at 22 050 Hz.
std::vector<unsigned char> makeChime()
{
    constexpr int rate = 22050;
    constexpr double pi = 3.14159265358979323846;
    const struct { double freq, start, length; } notes[] = {{880.0, 0.0, 0.18}, {1318.5, 0.12, 0.30}};
    const int frames = static_cast<int>(rate * 0.45);
    std::vector<double> mix(frames, 0.0);
    for (const auto &n : notes) {
        const int first = static_cast<int>(n.start * rate);
        const int count = static_cast<int>(n.length * rate);
        for (int i = 0; i < count && first + i < frames; ++i) {
            const double t = double(i) / rate;
            const double attack = std::min(1.0, t / 0.005);
            const double decay = std::exp(-t * 9.0);
            mix[first + i] += 0.35 * attack * decay * std::sin(2 * pi * n.freq * t);
        }
    }
    std::vector<unsigned char> wav;
    const quint32 dataBytes = frames * 2;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    putLe(wav, 36 + dataBytes, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(wav, 16, 4);
    putLe(wav, 1, 2);        // PCM
    putLe(wav, 1, 2);        // mono
    putLe(wav, rate, 4);
    putLe(wav, rate * 2, 4); // bytes per second
    putLe(wav, 2, 2);        // bytes per frame
    putLe(wav, 16, 2);       // bits per sample
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    putLe(wav, dataBytes, 4);
    for (double v : mix) {
        const long sample = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        putLe(wav, static_cast<quint32>(static_cast<qint16>(sample)) & 0xffff, 2);
    }
    return wav;
}

int usage()
{
    std::fputs("usage: voxlane-assetmaker icon SIZE FILE.png | sound FILE.wav\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "icon") == 0) {
        const int size = std::atoi(argv[2]);
        if (size < 8 || size > 1024)
            return usage();
        return drawIcon(size).save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "sound") == 0) {
        const std::vector<unsigned char> wav = makeChime();
        QFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        return out.write(reinterpret_cast<const char *>(wav.data()), qint64(wav.size())) == qint64(wav.size()) ? 0 : 1;
    }
    return usage();
}
