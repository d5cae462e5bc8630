#include "app/PopupNotifier.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbRadioButton.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmNewContact.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include "app/ui/TfrmChat.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"

namespace {

using MainWindow = MainWindowFixture;

TEST_F(MainWindow, FirstStartCreatesEmptyKeyShowsEntryFieldsAndTempFolder)
{
    ASSERT_FALSE(QFileInfo::exists(settings->fileName()));
    TestClient &w = createWindow();
    EXPECT_TRUE(QFileInfo::exists(settings->fileName()));
    EXPECT_TRUE(settings->read(QStringLiteral("User")).isEmpty());
    EXPECT_FALSE(w.pnMdpLogin->isHidden());
    EXPECT_TRUE(w.lblPseudoConnec->isHidden());
    EXPECT_FALSE(w.btnConnexion->isEnabled());
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("temp"))).isDir());
    EXPECT_EQ(w.settings().tempFolder(), home.path() + QStringLiteral("/temp"));
    EXPECT_EQ(w.PageControl->currentIndex(), 0);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblDeconnect);
    EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Déconnecté"));
    EXPECT_FALSE(w.session().isConnected());
    EXPECT_TRUE(w.lbOnline->isHidden());
    EXPECT_FALSE(w.TimerRefresh->isActive());
    ASSERT_EQ(w.control().portTable().size(), 1);
    EXPECT_EQ(w.control().portTable().at(0).port, QStringLiteral("2010"));
    EXPECT_TRUE(w.control().portTable().at(0).owner.isEmpty());
    // Only "Options", the connect label and "A propos" work while logged out.
    for (TClickLabel *label : w.window->menuLabels()) {
        const bool enabled = label == w.lblMnuOptions || label == w.lblDeconnect || label == w.lblAbout;
        EXPECT_EQ(label->isEnabled(), enabled) << label->objectName().toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MainWindow, UnwritableSettingsFolderIsReportedAndTheClientStarts)
{
    // A file where the settings folder should be: no one, not even root,
    // can create the store under it.
    QFile blocker(home.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings = std::make_unique<SettingsStore>(home.filePath(QStringLiteral("blocked/Voxlane.conf")));
    RecordedErrors::take();

    TestClient &w = createWindow();
    EXPECT_EQ(RecordedErrors::take().size(), 1); // one report, not one per value
    // The start-up went on to the end, with the defaults of a first start.
    EXPECT_FALSE(w.pnMdpLogin->isHidden());
    EXPECT_TRUE(w.session().currentPseudo().isEmpty());
    EXPECT_FALSE(w.notifier().SoundEnabled);
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("temp"))).isDir());
    EXPECT_TRUE(w.control().ServerTransac()->isListening());
}

TEST_F(MainWindow, RememberedAccountIsRestored)
{
    const struct {
        QString password; // stored encrypted for the user; empty stores an empty "Mdp"
    } cases[] = {{QString()}, {QStringLiteral("s3cret é")}};
    for (const auto &c : cases) {
        CredentialCodec codec;
        QString mdp;
        codec.EncryptForUser(QStringLiteral("Émile"), c.password, mdp);
        settings->write(QStringLiteral("User"), QStringLiteral("Émile"));
        settings->write(QStringLiteral("Mdp"), mdp);
        TestClient &w = createWindow();
        EXPECT_EQ(w.session().currentPseudo(), QStringLiteral("Émile"));
        EXPECT_EQ(w.session().currentPassword(), c.password);
        EXPECT_TRUE(w.pnMdpLogin->isHidden());
        EXPECT_FALSE(w.lblPseudoConnec->isHidden());
        EXPECT_EQ(w.lblPseudoConnec->text(), QStringLiteral("Émile"));
        EXPECT_TRUE(w.btnConnexion->isEnabled());
        window.reset();
    }
}

TEST_F(MainWindow, PlaySoundMustBeExactlyOne)
{
    const struct {
        const char *stored;
        bool on;
    } cases[] = {{"1", true}, {" 1", false}, {"0", false}, {"", false}, {"1 ", false}, {"true", false}};
    for (const auto &c : cases) {
        settings->write(QStringLiteral("PlaySound"), QString::fromLatin1(c.stored));
        TestClient &w = createWindow();
        EXPECT_EQ(w.notifier().SoundEnabled, c.on) << c.stored;
        w.window->lblEnvoyerClick(w.lblMnuOptions);
        EXPECT_EQ(w.ckPlaySound->Checked(), c.on) << c.stored;
        window.reset();
    }
}

TEST_F(MainWindow, NavigationMovesTheHighlightWithExactColours)
{
    FakeService service;
    environment.serviceUrl = service.baseUrl();
    TestClient &w = createWindow();
    ASSERT_TRUE(w.logInSession(service, QStringLiteral("moi"))); // page labels are enabled by a session
    w.TimerRefresh->stop();
    for (TClickLabel *label : w.window->menuLabels())
        label->setEnabled(true);
    const struct {
        TClickLabel *const TestClient::*label;
        int page;
    } cases[] = {
        {&TestClient::lblTelEnCours, 1}, {&TestClient::lblEnvoisEnCours, 2},
        {&TestClient::lblEnvoyer, 3},    {&TestClient::lblMnuOptions, 4},
        {&TestClient::lblMnuContact, 5}, {&TestClient::lblLecture, 6},
    };
    TClickLabel *previous = w.lblDeconnect;
    for (const auto &c : cases) {
        TClickLabel *label = w.*(c.label);
        w.window->lblEnvoyerClick(label);
        EXPECT_EQ(w.PageControl->currentIndex(), c.page);
        EXPECT_EQ(w.window->highlightedMenuLabel(), label);
        EXPECT_TRUE(label->isBold());
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(49, 106, 197));
        EXPECT_FALSE(previous->isBold());
        EXPECT_EQ(previous->palette().color(QPalette::WindowText), QColor(83, 73, 19));
        EXPECT_TRUE(w.TimerRefresh->isActive()); // a session keeps the poll running
        previous = label;
    }
}

TEST_F(MainWindow, NavigationLeavesARunningPresencePollAlone)
{
    FakeService service;
    environment.serviceUrl = service.baseUrl();
    TestClient &w = createWindow();
    ASSERT_TRUE(w.logInSession(service, QStringLiteral("moi")));
    w.TimerRefresh->stop(); // the log-in started it
    w.TimerRefresh->setTimerType(Qt::PreciseTimer); // remainingTime() to the millisecond
    // A stopped poll is started by the navigation while logged in...
    ASSERT_FALSE(w.TimerRefresh->isActive());
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    ASSERT_TRUE(w.TimerRefresh->isActive());
    // ...but a running one keeps its course: a restart would push the next
    // tick back to a full interval at every click.
    QTest::qWait(30);
    const int before = w.TimerRefresh->remainingTime();
    ASSERT_LT(before, w.TimerRefresh->interval());
    for (TClickLabel *label : {w.lblTelEnCours, w.lblEnvoyer, w.lblMnuOptions})
        w.window->lblEnvoyerClick(label);
    EXPECT_TRUE(w.TimerRefresh->isActive());
    EXPECT_LE(w.TimerRefresh->remainingTime(), before);
}

TEST_F(MainWindow, HoverMakesBoldAndLeavingKeepsTheHighlight)
{
    TestClient &w = createWindow();
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    w.window->lblTelEnCoursMouseEnter(w.lblAbout);
    EXPECT_TRUE(w.lblAbout->isBold());
    EXPECT_EQ(w.lblAbout->tColor(), TfrmPrincipal::kMenuPlainColor); // colour never changes on hover
    w.window->lblTelEnCoursMouseLeave(w.lblAbout);
    EXPECT_FALSE(w.lblAbout->isBold());
    w.window->lblTelEnCoursMouseEnter(w.lblMnuOptions);
    w.window->lblTelEnCoursMouseLeave(w.lblMnuOptions);
    EXPECT_TRUE(w.lblMnuOptions->isBold());
    // A real click on a disabled label does nothing.
    QTest::mouseClick(w.lblTelEnCours, Qt::LeftButton);
    EXPECT_EQ(w.PageControl->currentIndex(), 4);
}

TEST_F(MainWindow, DisabledMenuEntriesLookDisabledAndIgnoreThePointer)
{
    TestClient &w = createWindow();
    ASSERT_FALSE(w.lblTelEnCours->isEnabled()); // logged out
    const QColor plain(83, 73, 19);
    EXPECT_NE(w.lblTelEnCours->palette().color(QPalette::Disabled, QPalette::WindowText), plain);
    EXPECT_EQ(w.lblTelEnCours->palette().color(QPalette::Active, QPalette::WindowText), plain);
    w.window->lblTelEnCoursMouseEnter(w.lblTelEnCours);
    EXPECT_FALSE(w.lblTelEnCours->isBold());
    // An enabled one still turns bold.
    w.window->lblTelEnCoursMouseEnter(w.lblMnuOptions);
    EXPECT_TRUE(w.lblMnuOptions->isBold());
}

TEST_F(MainWindow, InfoBarShowsTextAsWritten)
{
    TestClient &w = createWindow();
    w.window->AffichInfo(QStringLiteral("<b>eve</b> vous envoi : <img src=x>"), true, 0);
    EXPECT_EQ(w.lblInfo->textFormat(), Qt::PlainText);
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("<b>eve</b> vous envoi : <img src=x>"));
}

TEST_F(MainWindow, CaptionsAreReadWholeWithTheFontsAtHand)
{
    TestClient &w = createWindow();
    w.window->show();
    // Every menu entry in its widest look, bold, fits its label...
    for (TClickLabel *label : w.window->menuLabels()) {
        QFont bold = label->font();
        bold.setBold(true);
        EXPECT_LE(QFontMetrics(bold).horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
        EXPECT_LE(label->geometry().right(), w.pnMenu->width()) << label->objectName().toStdString();
    }
    EXPECT_LE(QFontMetrics(w.lblContactsEnLigne->font()).horizontalAdvance(QStringLiteral("Contacts en ligne (000)")),
        w.lblContactsEnLigne->width());
    // ...the view's bold headers fit their column...
    w.lbOnline->addTopLevelItem(ContactRows::makeRow(ContactRows::onlineHeader(), ContactRows::kHeader));
    w.lbOnline->addTopLevelItem(ContactRows::makeRow(ContactRows::offlineHeader(), ContactRows::kHeader));
    w.lbOnline->show();
    QFont bold = w.lbOnline->font();
    bold.setBold(true);
    for (int row = 0; row < 2; ++row) {
        const QString text = ContactRows::textOf(w.lbOnline->topLevelItem(row));
        EXPECT_LE(QFontMetrics(bold).horizontalAdvance(text) + 6, w.lbOnline->columnWidth(1)) << row;
    }
    // ...and the pages start where the menu ends, whatever its width.
    EXPECT_EQ(w.PageControl->x(), w.pnMenu->width());
    EXPECT_GE(w.pnMenu->width(), 170);
}

TEST_F(MainWindow, RequestWindowShowsItsAnswersWhole)
{
    TfrmNewContact window;
    for (TRbRadioButton *answer : { window.rbOK, window.rbNo }) {
        EXPECT_GE(answer->width(), answer->sizeHint().width()) << answer->Caption().toStdString();
        EXPECT_LE(answer->geometry().right(), window.width());
    }
    EXPECT_GE(window.width(), 380); // never narrower than designed
    EXPECT_LE(window.btnPseudoOK->geometry().right(), window.width());
}

TEST_F(MainWindow, ResizeKeepsInfoPanelCentredAndStatusPanelTied)
{
    TestClient &w = createWindow();
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window));
    const struct {
        int width;
        int height;
        int infoLeft;
    } cases[] = {{716, 518, 177}, {900, 600, 269}, {1001, 700, 320}};
    for (const auto &c : cases) {
        w.window->resize(c.width, c.height);
        QCoreApplication::processEvents();
        ASSERT_EQ(w.window->centralWidget()->width(), c.width);
        EXPECT_EQ(w.pnInfo->x(), c.infoLeft);
        EXPECT_EQ(w.pnInfo->y(), (c.height - 123) / 2);
        EXPECT_EQ(w.StatusBar->panel(0).width, c.width - 237);
        EXPECT_EQ(w.StatusBar->panel(1).width, 100);
        EXPECT_EQ(w.StatusBar->panel(2).width, 50);
        // The log-in block sits at 0.7 of the centring offsets.
        const int dx = (w.loginPage->width() - w.pnConexionItems->width()) / 2;
        EXPECT_EQ(w.pnConexionItems->x(), int(std::nearbyint(dx * 0.7)));
    }
}

TEST(CenterControl, ModesAndOversizedControls)
{
    QWidget parent;
    parent.resize(100, 50);
    QWidget child(&parent);
    const struct {
        int mode;
        QSize size;
        QPoint expected;
    } cases[] = {
        {1, {20, 10}, {40, 7}}, {2, {20, 10}, {3, 20}}, {3, {20, 10}, {40, 20}},
        {0, {20, 10}, {3, 7}},  {4, {20, 10}, {3, 7}},  {3, {131, 71}, {-15, -10}},
    };
    for (const auto &c : cases) {
        child.setGeometry(3, 7, c.size.width(), c.size.height());
        CenterControl(&child, &parent, c.mode);
        EXPECT_EQ(child.pos(), c.expected) << c.mode;
    }
}

TEST(FolderExists, TrailingSeparatorAndMissingFolders)
{
    QTemporaryDir dir;
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_TRUE(FolderExists(dir.path() + QStringLiteral("/")));
    EXPECT_TRUE(FolderExists(dir.path() + QStringLiteral("\\")));
    EXPECT_FALSE(FolderExists(dir.filePath(QStringLiteral("missing"))));
    QFile file(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(FolderExists(file.fileName()));
}

TEST_F(MainWindow, DroppedFilesOnlyWhileLoggedInLastOneStays)
{
    TestClient &w = createWindow();
    const QStringList paths = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b é.txt"),
                               QStringLiteral("/tmp/c.avi")};
    w.window->DropFiles(paths);
    EXPECT_TRUE(w.FileNameSend->text().isEmpty());
    EXPECT_EQ(w.PageControl->currentIndex(), 0);
    EXPECT_FALSE(w.window->acceptDrops());

    w.window->setDropAccepted(true);
    EXPECT_TRUE(w.window->acceptDrops());
    w.window->DropFiles(paths);
    EXPECT_EQ(w.FileNameSend->text(), QStringLiteral("/tmp/c.avi"));
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblEnvoyer);
}

// One press and release of a key as the window system delivers it: the
// hardware key (0 when the platform reports none), the key Qt makes of it
// with the layout and the text it types.
void pressKey(QWidget *target, int key, quint32 scanCode, const QString &text,
    Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, scanCode, 0, 0, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, scanCode, 0, 0, text);
    QApplication::sendEvent(target, &release);
}

constexpr quint32 kKeyLeftOfOne = 49; // "²" on AZERTY, "`" on QWERTY
constexpr quint32 kApostropheKeyQwerty = 48;
constexpr quint32 kFourKeyAzerty = 13; // "'" unshifted on AZERTY

TEST_F(MainWindow, DiagnosticKeyAlternatesLogAndOnlineListOutsideTextFields)
{
    TestClient &w = createWindow();
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window));
    EXPECT_TRUE(w.reWatch->isHidden());
    EXPECT_TRUE(w.listOnline->isHidden());
    // A control that takes no text: the options page's sound box.
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    w.ckPlaySound->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w.ckPlaySound);

    // The key left of "1" whatever the layout and modifiers make of it; the
    // apostrophe and the quote never, wherever they sit; without a hardware
    // key number, the characters of the key left of "1".
    const struct
    {
        const char *what;
        int key;
        quint32 scanCode;
        QString text;
        Qt::KeyboardModifiers modifiers;
        bool logShown;
    } presses[] = {
        { "AZERTY '²'", Qt::Key_twosuperior, kKeyLeftOfOne, QStringLiteral("²"), Qt::NoModifier, true },
        { "QWERTY '`'", Qt::Key_QuoteLeft, kKeyLeftOfOne, QStringLiteral("`"), Qt::NoModifier, false },
        { "QWERTY '~' with Shift", Qt::Key_AsciiTilde, kKeyLeftOfOne, QStringLiteral("~"), Qt::ShiftModifier,
            true },
        { "with Control", Qt::Key_twosuperior, kKeyLeftOfOne, QString(), Qt::ControlModifier, false },
        { "QWERTY apostrophe", Qt::Key_Apostrophe, kApostropheKeyQwerty, QStringLiteral("'"), Qt::NoModifier,
            false },
        { "QWERTY quote", Qt::Key_QuoteDbl, kApostropheKeyQwerty, QStringLiteral("\""), Qt::ShiftModifier,
            false },
        { "AZERTY apostrophe", Qt::Key_Apostrophe, kFourKeyAzerty, QStringLiteral("'"), Qt::NoModifier,
            false },
        { "apostrophe, no key number", Qt::Key_Apostrophe, 0, QStringLiteral("'"), Qt::NoModifier, false },
        { "'²', no key number", Qt::Key_twosuperior, 0, QStringLiteral("²"), Qt::NoModifier, true },
        { "'`', no key number", Qt::Key_QuoteLeft, 0, QStringLiteral("`"), Qt::NoModifier, false },
        { "'²' typed elsewhere, with a key number", Qt::Key_twosuperior, kFourKeyAzerty, QStringLiteral("²"),
            Qt::NoModifier, false },
    };
    for (const auto &p : presses) {
        SCOPED_TRACE(p.what);
        pressKey(w.ckPlaySound, p.key, p.scanCode, p.text, p.modifiers);
        EXPECT_EQ(w.reWatch->isVisible(), p.logShown);
        EXPECT_EQ(w.listOnline->isVisible(), !p.logShown);
    }

    // With no focus at all the window itself gets the key.
    w.ckPlaySound->clearFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    pressKey(w.window, Qt::Key_twosuperior, kKeyLeftOfOne, QStringLiteral("²"));
    EXPECT_TRUE(w.reWatch->isVisible());
    EXPECT_TRUE(w.listOnline->isHidden());

    // The log itself only shows text: from there the key hides it again.
    w.reWatch->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w.reWatch);
    pressKey(w.reWatch, Qt::Key_twosuperior, kKeyLeftOfOne, QStringLiteral("²"));
    EXPECT_TRUE(w.reWatch->isHidden());
    EXPECT_TRUE(w.listOnline->isVisible());
}

TEST_F(MainWindow, DiagnosticKeyTypesIntoAFocusedTextField)
{
    TestClient &w = createWindow();
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window));
    for (QLineEdit *field : { w.txtPseudo, w.txtMDP }) {
        SCOPED_TRACE(field->objectName().toStdString());
        field->clear();
        field->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), field);
        pressKey(field, Qt::Key_twosuperior, kKeyLeftOfOne, QStringLiteral("²"));
        pressKey(field, Qt::Key_Apostrophe, kFourKeyAzerty, QStringLiteral("'"));
        pressKey(field, Qt::Key_QuoteLeft, 0, QStringLiteral("`"));
        EXPECT_EQ(field->text(), QStringLiteral("²'`"));
        EXPECT_TRUE(w.reWatch->isHidden());
        EXPECT_TRUE(w.listOnline->isHidden());
    }
}

TEST(DiagnosticKey, TextFieldsAreThoseThatTakeTypedText)
{
    QLineEdit line;
    QLineEdit readOnlyLine;
    readOnlyLine.setReadOnly(true);
    QTextEdit text;
    QPlainTextEdit plain;
    QPlainTextEdit readOnlyPlain;
    readOnlyPlain.setReadOnly(true);
    QSpinBox spin;
    QComboBox editableCombo;
    editableCombo.setEditable(true);
    QComboBox combo;
    QPushButton button;
    const struct
    {
        const char *what;
        const QWidget *widget;
        bool entry;
    } cases[] = {
        { "line edit", &line, true },
        { "read-only line edit", &readOnlyLine, false },
        { "text edit", &text, true },
        { "plain text edit", &plain, true },
        { "read-only plain text edit", &readOnlyPlain, false },
        { "spin box", &spin, true },
        { "editable combo box", &editableCombo, true },
        { "combo box", &combo, false },
        { "button", &button, false },
        { "nothing", nullptr, false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TfrmPrincipal::IsTextEntry(c.widget), c.entry) << c.what;
}

TEST_F(MainWindow, OptionsPageShowsAndAppliesValuesAsTyped)
{
    settings->write(QStringLiteral("FireWall"), QStringLiteral("1"));
    TestClient &w = createWindow();
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    EXPECT_TRUE(w.cbFireWall->isChecked());
    EXPECT_FALSE(w.ckPlaySound->Checked());
    // No stored folder: the folder partial downloads really go to.
    EXPECT_EQ(w.ceTempPath->text(), home.path() + QStringLiteral("/temp"));
    EXPECT_EQ(w.ceTempPath->text(), w.settings().tempFolder());

    w.cbFireWall->setChecked(false);
    w.ckPlaySound->setChecked(true);
    w.ceTempPath->setText(QStringLiteral("  /nulle/part é "));
    QTest::mouseClick(w.btnConfigApply, Qt::LeftButton);
    EXPECT_EQ(settings->read(QStringLiteral("FireWall")), QStringLiteral("0"));
    EXPECT_EQ(settings->read(QStringLiteral("PlaySound")), QStringLiteral("1"));
    EXPECT_EQ(settings->read(QStringLiteral("TempPath")), QStringLiteral("  /nulle/part é "));
    EXPECT_TRUE(w.notifier().SoundEnabled);
    // The stored folder is shown, never applied.
    EXPECT_EQ(w.settings().tempFolder(), home.path() + QStringLiteral("/temp"));
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    EXPECT_EQ(w.ceTempPath->text(), QStringLiteral("  /nulle/part é "));
}

TEST_F(MainWindow, FolderTreeToggledAndDoubleClickCopiesFolder)
{
    QDir(home.path()).mkpath(QStringLiteral("choisi"));
    TestClient &w = createWindow();
    w.window->show();
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    w.ceTempPath->setText(QStringLiteral(" ") + home.filePath(QStringLiteral("choisi")) + QStringLiteral(" "));
    w.optionsPage->ceTempPathButtonClick();
    EXPECT_TRUE(w.ShellTreeView->isVisible());
    w.optionsPage->ShellTreeViewDblClick();
    EXPECT_FALSE(w.ShellTreeView->isVisible());
    EXPECT_EQ(w.ceTempPath->text(), home.filePath(QStringLiteral("choisi")));
}

TEST_F(MainWindow, ControlPortListensOnTheClientsAddress)
{
    TestClient &w = createWindow();
    ASSERT_TRUE(w.control().ServerTransac()->isListening()) << w.control().ServerTransac()->errorString().toStdString();
    QTcpSocket peer;
    peer.connectToHost(QHostAddress(environment.localIp), TfrmPrincipal::kControlPort);
    ASSERT_TRUE(peer.waitForConnected(3000)) << peer.errorString().toStdString();
    ASSERT_TRUE(w.control().ServerTransac()->waitForNewConnection(3000));

    // Closing the window stops listening.
    w.window->close();
    EXPECT_FALSE(w.control().ServerTransac()->isListening());
}

TEST_F(MainWindow, TakenControlPortStillStartsAndSaysSo)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress(environment.localIp), TfrmPrincipal::kControlPort));
    TestClient &w = createWindow();
    EXPECT_FALSE(w.control().ServerTransac()->isListening());
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].kind, DialogService::Kind::Warning);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("ne pourra pas recevoir de fichiers")));
    EXPECT_TRUE(w.reWatch->toPlainText().contains(QStringLiteral("2000")));
}

TEST_F(MainWindow, InfoPanelTimedMessageHidesOnce)
{
    TestClient &w = createWindow();
    w.window->AffichInfo(QStringLiteral("Connexion en cours..."), true, 0);
    EXPECT_FALSE(w.pnInfo->isHidden());
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Connexion en cours..."));
    EXPECT_FALSE(w.TimerInfo->isActive());
    w.window->AffichInfo(QStringLiteral("Accès refusé !"), true, 50);
    EXPECT_TRUE(w.TimerInfo->isActive());
    EXPECT_EQ(w.TimerInfo->interval(), 50);
    QTest::qWait(120);
    EXPECT_TRUE(w.pnInfo->isHidden());
    EXPECT_FALSE(w.TimerInfo->isActive());
}

TEST(ApplicationWindows, SevenWindowsInTheirOrder)
{
    QTemporaryDir home;
    qputenv("VOXLANE_HOME", home.path().toLocal8Bit());
    qputenv("VOXLANE_LOCAL_IP", MainWindowFixture::uniqueLoopbackAddress().toLatin1());
    {
        ApplicationWindows windows;
        EXPECT_EQ(windows.creationOrder(),
                  QStringList({QStringLiteral("frmPrincipal"), QStringLiteral("frmAbout"),
                               QStringLiteral("frmPropriete"), QStringLiteral("frmChat"),
                               QStringLiteral("frmReception"), QStringLiteral("frmCard"),
                               QStringLiteral("frmChangeAvatar")}));
        EXPECT_EQ(windows.main().windowTitle(), QStringLiteral("Voxlane"));
        EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("temp"))).isDir());
        EXPECT_FALSE(windows.chat().isVisible());
        EXPECT_EQ(windows.chat().windowTitle(), QStringLiteral("Quixvale Lite"));
        // A click on an offer's pop-up brings back this confirmation window.
        windows.reception().setWindowState(Qt::WindowMinimized);
        windows.controllers().notifier().showReception();
        EXPECT_FALSE(windows.reception().windowState() & Qt::WindowMinimized);
        // One properties window, the one the transfer pages show.
        EXPECT_EQ(windows.main().findChildren<TfrmPropriete *>(), QList<TfrmPropriete *>({ &windows.properties() }));
    }
    qunsetenv("VOXLANE_HOME");
    qunsetenv("VOXLANE_LOCAL_IP");
}

// A community that runs its own authority names its certificate once in the
// settings; one run may name another in the environment.
TEST(ApplicationWindows, TheSessionTrustsTheSettingsAuthorityFileUnlessTheVariableNamesOne)
{
    QTemporaryDir home;
    qputenv("VOXLANE_HOME", home.path().toLocal8Bit());
    qputenv("VOXLANE_LOCAL_IP", MainWindowFixture::uniqueLoopbackAddress().toLatin1());
    SettingsStore userSettings; // the tests' private store, as the program finds it
    userSettings.write(AppEnvironment::kServiceCaSetting, QStringLiteral("/etc/voxlane/community.pem"));
    {
        ApplicationWindows windows;
        EXPECT_EQ(windows.controllers().session().serviceCaFile(), QStringLiteral("/etc/voxlane/community.pem"));
        EXPECT_EQ(windows.controllers().session().http().extraCaFile(), QStringLiteral("/etc/voxlane/community.pem"));
        EXPECT_EQ(windows.controllers().session().NewHttpClient()->extraCaFile(), QStringLiteral("/etc/voxlane/community.pem"));
    }
    qputenv("VOXLANE_SERVICE_CA", "/tmp/other-community.pem");
    {
        ApplicationWindows windows;
        EXPECT_EQ(windows.controllers().session().NewHttpClient()->extraCaFile(), QStringLiteral("/tmp/other-community.pem"));
    }
    qunsetenv("VOXLANE_SERVICE_CA");
    userSettings.write(AppEnvironment::kServiceCaSetting, QString());
    qunsetenv("VOXLANE_HOME");
    qunsetenv("VOXLANE_LOCAL_IP");
}

} // namespace
