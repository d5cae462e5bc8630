#include "transfer/TransferListStore.h"

#include "base/ErrorReport.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/EventWait.h"
#include "support/FileSizeLimit.h"
#include "support/Timing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <QTemporaryDir>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <functional>
#include <random>

namespace {

// The two lists as plain records; re-created entries are appended as the
// transfer manager appends panels.
class FakeHost : public TransferListHost
{
public:
    QList<TransferRecord> downloads, uploads;
    QStringList uploadAddresses;
    QHash<QString, QString> online;
    std::function<void()> onPending;
    std::function<void(const TransferRecord &)> onNewDownload;

    QList<TransferRecord> downloadRecords() const override { return downloads; }
    QList<TransferRecord> uploadRecords() const override { return uploads; }
    void restoreDownload(const TransferRecord &r) override
    {
        if (onNewDownload)
            onNewDownload(r);
        downloads.append(r);
    }
    void restoreUpload(const TransferRecord &r, const QString &address) override
    {
        uploads.append(r);
        uploadAddresses.append(address);
    }
    QString GetIP(const QString &pseudo) const override { return online.value(pseudo); }
    void processPendingEvents() override
    {
        if (onPending)
            onPending();
    }
};

TransferRecord record(const QString &id, const QString &name, qint64 tel = 0,
                      const QString &status = QString())
{
    TransferRecord r;
    r.IDTel = id;
    r.FichierName = name;
    r.FichierProprio = QStringLiteral("bob");
    r.FichierPath = QStringLiteral("/home/alice/") + name;
    r.FichierPoids = QStringLiteral("123456");
    r.FichierTel = tel;
    r.Port = 2010;
    r.Status = status;
    return r;
}

class TransferListStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("temp")));
        RecordedErrors::take();
    }

    QString tempPath() const { return home.path() + QStringLiteral("/temp"); }

    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(home.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray readFile(const QString &name) const
    {
        QFile f(home.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir home;
    FakeHost host;
    TransferListStore store{ host, home.path() };
};

const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

TEST_F(TransferListStoreTest, EmptySessionIsSavedAsInfoAloneAndLoadsNothing)
{
    store.SaveLoad(QStringLiteral("alice"));
    EXPECT_EQ(readFile(QStringLiteral("alice.xml")),
              kDeclaration
                  + "<Voxlane><Info><NbUpLoad>0</NbUpLoad><NbDownLoad>0</NbDownLoad></Info></Voxlane>\n");

    QSignalSpy started(&store, &TransferListStore::loadingStarted);
    QSignalSpy maximum(&store, &TransferListStore::progressMaximum);
    QSignalSpy finished(&store, &TransferListStore::loadingFinished);
    EXPECT_TRUE(store.OpenLoad(QStringLiteral("alice"), tempPath()));
    EXPECT_TRUE(host.downloads.isEmpty());
    EXPECT_TRUE(host.uploads.isEmpty());
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(maximum.count(), 1);
    EXPECT_EQ(maximum.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TransferListStoreTest, NoFileLoadsNothingAndShowsNothing)
{
    QSignalSpy started(&store, &TransferListStore::loadingStarted);
    EXPECT_TRUE(store.OpenLoad(QStringLiteral("nobody"), tempPath()));
    EXPECT_EQ(started.count(), 0);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TransferListStoreTest, ExactDocumentInLatin1WithReferencesForTheRest)
{
    TransferRecord up = record(QStringLiteral("4220261225143005123"), QStringLiteral("Été 2€ <a&b>.mp3"),
                               512, QStringLiteral("0"));
    up.FichierProprio = QStringLiteral("Zoé");
    host.uploads = { up };
    store.SaveLoad(QStringLiteral("alice"));
    const QByteArray bytes = readFile(QStringLiteral("alice.xml"));

    // É and é are single bytes; € has no Latin-1 byte and becomes a reference.
    const QByteArray expected = kDeclaration
                                + "<Voxlane><Info><NbUpLoad>1</NbUpLoad><NbDownLoad>0</NbDownLoad></Info>"
                                  "<Upload><Fichier><IDTel>4220261225143005123</IDTel>"
                                  "<FichierName>\xC9t\xE9 2&#8364; &lt;a&amp;b&gt;.mp3</FichierName>"
                                  "<FichierProprio>Zo\xE9</FichierProprio>"
                                  "<FichierPath>/home/alice/\xC9t\xE9 2&#8364; &lt;a&amp;b&gt;.mp3</FichierPath>"
                                  "<FichierPoids>123456</FichierPoids><FichierTel>512</FichierTel>"
                                  "<Port>2010</Port><Status>0</Status></Fichier></Upload></Voxlane>\n";
    EXPECT_EQ(bytes, expected);

    // Another reader — libxml2 directly — sees the same characters.
    xmlDoc *doc = xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    const xmlNode *root = xmlDocGetRootElement(doc);
    const xmlNode *upload = root->children->next;
    ASSERT_STREQ(reinterpret_cast<const char *>(upload->name), "Upload");
    const xmlNode *name = upload->children->children->next;
    xmlChar *text = xmlNodeGetContent(name);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char *>(text)), QStringLiteral("Été 2€ <a&b>.mp3"));
    xmlFree(text);
    xmlFreeDoc(doc);
}

TEST_F(TransferListStoreTest, ControlCharactersNeverMakeTheFileUnreadable)
{
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a\x01" "b\tc\r\nd")) };
    store.SaveLoad(QStringLiteral("alice"));
    FakeHost other;
    TransferListStore reader(other, home.path());
    ASSERT_TRUE(reader.OpenLoad(QStringLiteral("alice"), tempPath()));
    ASSERT_EQ(other.downloads.size(), 1);
    EXPECT_EQ(other.downloads.at(0).FichierName, QStringLiteral("a?b\tc\r\nd"));
}

TEST_F(TransferListStoreTest, OrderAndValuesSurviveASaveAndALoad)
{
    host.downloads = { record(QStringLiteral("71"), QStringLiteral("d1.avi"), 40),
                       record(QStringLiteral("72"), QStringLiteral("d2.avi"), 0, QStringLiteral("0")),
                       record(QStringLiteral("73"), QStringLiteral("d3.avi")) };
    host.uploads = { record(QStringLiteral("81"), QStringLiteral("u1.txt"), 99),
                     record(QStringLiteral("82"), QStringLiteral("u2.txt"), 7, QStringLiteral("0")) };
    host.uploads[1].Port = 2011;
    store.SaveLoad(QStringLiteral("alice"));
    QFile partial(tempPath() + QStringLiteral("/d1.avi"));
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.write(QByteArray(1000, 'x'));
    partial.close();

    FakeHost other;
    other.online.insert(QStringLiteral("bob"), QStringLiteral("10.0.0.2"));
    TransferListStore reader(other, home.path());
    QSignalSpy maximum(&reader, &TransferListStore::progressMaximum);
    QSignalSpy position(&reader, &TransferListStore::progressPosition);
    ASSERT_TRUE(reader.OpenLoad(QStringLiteral("alice"), tempPath()));

    // Downloads take their count from the partial file: 1000 bytes on disk,
    // none for a file that is gone, whatever was saved; a finished one
    // (72) holds its whole size.
    QList<TransferRecord> expectDown = host.downloads;
    expectDown[0].FichierTel = 1000;
    expectDown[1].FichierTel = expectDown[1].FichierPoids.toLongLong();
    expectDown[2].FichierTel = 0;
    EXPECT_EQ(other.downloads, expectDown);
    // Uploads keep their saved count; their name comes from the path later.
    QList<TransferRecord> expectUp = host.uploads;
    for (auto &r : expectUp)
        r.FichierName.clear();
    EXPECT_EQ(other.uploads, expectUp);
    EXPECT_EQ(other.uploadAddresses, QStringList({ QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.2") }));
    EXPECT_EQ(maximum.at(0).at(0).toInt(), 5);
    EXPECT_EQ(position.count(), 5);
    EXPECT_EQ(position.last().at(0).toInt(), 5);
}

TEST_F(TransferListStoreTest, EachMemberHasAFileOfItsOwn)
{
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("alice.bin")) };
    store.SaveLoad(QStringLiteral("alice"));
    host.downloads = { record(QStringLiteral("2"), QStringLiteral("bob.bin")) };
    store.SaveLoad(QStringLiteral("bob"));

    FakeHost asBob;
    TransferListStore reader(asBob, home.path());
    reader.OpenLoad(QStringLiteral("bob"), tempPath());
    ASSERT_EQ(asBob.downloads.size(), 1);
    EXPECT_EQ(asBob.downloads.at(0).FichierName, QStringLiteral("bob.bin"));
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("alice.xml"))));
    // A separator in a pseudonym cannot lead the file out of the folder.
    EXPECT_EQ(store.listFilePath(QStringLiteral("../x")), home.path() + QStringLiteral("/.._x.xml"));
}

// Counts decide whether a section is read and the progress maximum; the
// section's elements decide how many entries are made.
TEST_F(TransferListStoreTest, CountsOnlyGateSectionsAndSetTheMaximum)
{
    const QByteArray three = "<Download><Fichier><IDTel>1</IDTel><Port>1</Port></Fichier>"
                             "<Fichier><IDTel>2</IDTel><Port>2</Port></Fichier>"
                             "<Other><IDTel>3</IDTel><Port>3</Port></Other></Download>";
    const struct
    {
        const char *info;
        int downloads;
        int maximum;
    } cases[] = {
        { "<Info><NbUpLoad>0</NbUpLoad><NbDownLoad>0</NbDownLoad></Info>", 0, 0 },
        { "<Info><NbUpLoad>0</NbUpLoad><NbDownLoad>1</NbDownLoad></Info>", 3, 1 },
        { "<Info><NbUpLoad>4</NbUpLoad><NbDownLoad>9</NbDownLoad></Info>", 3, 13 },
        { "", 3, 3 }, // no "Info": every section present is read
    };
    for (const auto &c : cases) {
        writeFile(QStringLiteral("m.xml"), QByteArray("<Voxlane>") + c.info + three + "</Voxlane>");
        FakeHost h;
        TransferListStore s(h, home.path());
        QSignalSpy maximum(&s, &TransferListStore::progressMaximum);
        QSignalSpy position(&s, &TransferListStore::progressPosition);
        EXPECT_TRUE(s.OpenLoad(QStringLiteral("m"), tempPath())) << c.info;
        EXPECT_EQ(h.downloads.size(), c.downloads) << c.info;
        EXPECT_EQ(maximum.at(0).at(0).toInt(), c.maximum) << c.info;
        EXPECT_EQ(position.count(), c.downloads) << c.info;
        if (c.downloads == 3) {
            EXPECT_EQ(h.downloads.at(2).IDTel, QStringLiteral("3")) << c.info;
        }
    }
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TransferListStoreTest, HandWrittenFileWithReferencesCdataAndGaps)
{
    // Indented, UTF-8, a comment, character references, CDATA, children in
    // another order, some missing, uploads before downloads.
    writeFile(QStringLiteral("m.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<Voxlane>\n  <!-- by hand -->\n"
              "  <Info>\n    <NbUpLoad>1</NbUpLoad>\n    <NbDownLoad>1</NbDownLoad>\n  </Info>\n"
              "  <Upload>\n    <Fichier>\n      <Port>2020</Port>\n"
              "      <FichierPath><![CDATA[/tmp/<r&d>/\xC3\xA9t\xC3\xA9.txt]]></FichierPath>\n"
              "      <FichierProprio>Zo&#233;</FichierProprio>\n    </Fichier>\n  </Upload>\n"
              "  <Download>\n    <Fichier>\n      <IDTel>42</IDTel>\n"
              "      <FichierName>prix &#x20AC;&#8364; &amp; &quot;x&quot;</FichierName>\n"
              "      <Port>2010</Port>\n    </Fichier>\n  </Download>\n</Voxlane>\n");
    ASSERT_TRUE(store.OpenLoad(QStringLiteral("m"), tempPath()));
    ASSERT_EQ(host.downloads.size(), 1);
    EXPECT_EQ(host.downloads.at(0).IDTel, QStringLiteral("42"));
    EXPECT_EQ(host.downloads.at(0).FichierName, QStringLiteral("prix €€ & \"x\""));
    EXPECT_EQ(host.downloads.at(0).Status, QString());
    ASSERT_EQ(host.uploads.size(), 1);
    EXPECT_EQ(host.uploads.at(0).FichierPath, QStringLiteral("/tmp/<r&d>/été.txt"));
    EXPECT_EQ(host.uploads.at(0).FichierProprio, QStringLiteral("Zoé"));
    EXPECT_EQ(host.uploads.at(0).Port, 2020);
    EXPECT_EQ(host.uploads.at(0).IDTel, QString());
}

// A list file is input like any other: entities declared in it reach
// neither other files nor unbounded memory.
TEST_F(TransferListStoreTest, DeclaredEntitiesAreNeverExpanded)
{
    // An external entity naming another file: the reference reads as nothing.
    writeFile(QStringLiteral("secret.txt"), "top secret");
    const QByteArray secretUrl = QUrl::fromLocalFile(home.filePath(QStringLiteral("secret.txt"))).toEncoded();
    writeFile(QStringLiteral("m.xml"), "<?xml version=\"1.0\"?><!DOCTYPE Voxlane [<!ENTITY s SYSTEM \"" + secretUrl
                                           + "\">]><Voxlane><Download><Fichier><FichierName>a&s;b</FichierName>"
                                             "<Port>1</Port></Fichier></Download></Voxlane>");
    EXPECT_TRUE(store.OpenLoad(QStringLiteral("m"), tempPath()));
    ASSERT_EQ(host.downloads.size(), 1);
    EXPECT_EQ(host.downloads.at(0).FichierName, QStringLiteral("ab"));

    // Entities that would grow to a billion "lol"s: refused as broken.
    QByteArray laughs = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
                  + ("&l" + QByteArray::number(i - 1) + ';').repeated(10) + "\">";
    writeFile(QStringLiteral("n.xml"), "<?xml version=\"1.0\"?><!DOCTYPE Voxlane [" + laughs
                                           + "]><Voxlane><Download><Fichier><FichierPath>&l9;</FichierPath>"
                                             "<Port>1</Port></Fichier></Download></Voxlane>");
    FakeHost h;
    TransferListStore s(h, home.path());
    EXPECT_FALSE(s.OpenLoad(QStringLiteral("n"), tempPath()));
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    EXPECT_TRUE(h.downloads.isEmpty());
}

TEST_F(TransferListStoreTest, MissingAnnouncedSectionIsSkippedAndTheRestLoads)
{
    writeFile(QStringLiteral("m.xml"), "<Voxlane><Info><NbUpLoad>1</NbUpLoad><NbDownLoad>2</NbDownLoad></Info>"
                                       "<Upload><Fichier><IDTel>9</IDTel><Port>5</Port></Fichier></Upload>"
                                       "</Voxlane>");
    EXPECT_TRUE(store.OpenLoad(QStringLiteral("m"), tempPath()));
    EXPECT_TRUE(host.downloads.isEmpty());
    ASSERT_EQ(host.uploads.size(), 1);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("m.xml"))));
}

TEST_F(TransferListStoreTest, FileThatIsNotXmlIsSetAsideAndReportedOnce)
{
    const QByteArray garbage = "this is not <xml at all";
    for (const char *aside : { "m.xml.bad", "m.xml.bad2" }) {
        writeFile(QStringLiteral("m.xml"), garbage);
        QSignalSpy finished(&store, &TransferListStore::loadingFinished);
        EXPECT_FALSE(store.OpenLoad(QStringLiteral("m"), tempPath()));
        EXPECT_EQ(finished.count(), 1);
        const QStringList errors = RecordedErrors::take();
        ASSERT_EQ(errors.size(), 1) << aside;
        EXPECT_TRUE(errors.at(0).contains(QLatin1String(aside))) << errors.at(0).toStdString();
        EXPECT_EQ(readFile(QLatin1String(aside)), garbage);
        EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("m.xml"))));
    }
    // The session's save writes a fresh list beside the kept ones.
    store.SaveLoad(QStringLiteral("m"));
    EXPECT_EQ(readFile(QStringLiteral("m.xml.bad")), garbage);
    EXPECT_TRUE(readFile(QStringLiteral("m.xml")).contains("<NbUpLoad>0</NbUpLoad>"));
}

// One entry that cannot be made (a port that is not a number, a port taken
// on this machine) costs that entry alone: the others are made, the failure
// is reported once for all, the file stays where it is and the session's
// next save writes the kept entry back as it was read, after the others.
TEST_F(TransferListStoreTest, AnEntryThatCannotBeMadeIsKeptAndTheOthersLoad)
{
    const struct
    {
        const char *what;
        QByteArray body;
        QStringList made;
        bool kept;
    } cases[] = {
        { "counts that are not numbers: every section is read",
            "<Info><NbUpLoad>0</NbUpLoad><NbDownLoad></NbDownLoad></Info>"
            "<Download><Fichier><IDTel>1</IDTel><Port>1</Port></Fichier></Download>",
            { "1" }, false },
        { "a port that is not a number",
            "<Info><NbUpLoad>0</NbUpLoad><NbDownLoad>3</NbDownLoad></Info>"
            "<Download><Fichier><IDTel>1</IDTel><Port>1</Port></Fichier>"
            "<Fichier><IDTel>2</IDTel><Port>x1</Port></Fichier>"
            "<Fichier><IDTel>3</IDTel><Port>3</Port></Fichier></Download>",
            { "1", "3" }, true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray bytes = QByteArray("<Voxlane>") + c.body + "</Voxlane>";
        writeFile(QStringLiteral("m.xml"), bytes);
        FakeHost h;
        TransferListStore s(h, home.path());
        QSignalSpy finished(&s, &TransferListStore::loadingFinished);
        EXPECT_EQ(s.OpenLoad(QStringLiteral("m"), tempPath()), !c.kept);
        QStringList made;
        for (const auto &r : h.downloads)
            made << r.IDTel;
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_EQ(RecordedErrors::take().size(), c.kept ? 1 : 0);
        EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("m.xml.bad"))));
        EXPECT_EQ(readFile(QStringLiteral("m.xml")), bytes);
        if (!c.kept)
            continue;
        ASSERT_EQ(s.keptDownloads().size(), 1);
        EXPECT_EQ(s.keptDownloads().at(0).IDTel, QStringLiteral("2"));
        s.SaveLoad(QStringLiteral("m"));
        const auto saved = TransferListDocument::read(readFile(QStringLiteral("m.xml")));
        ASSERT_TRUE(saved.has_value());
        QStringList ids;
        for (const auto &e : saved->downloads)
            ids << e.record.IDTel;
        EXPECT_EQ(ids, QStringList({ "1", "3", "2" }));
    }
}

// The list is saved while an entry is being made and its making lets
// events run (its error box is open when the user quits, or the session
// ends): the entry is saved with the others, once, whether it is made
// after all or not, and in its place.
TEST_F(TransferListStoreTest, ASaveWhileAnEntryIsBeingMadeKeepsThatEntry)
{
    for (const bool madeAfterAll : { true, false }) {
        SCOPED_TRACE(madeAfterAll ? "made after the save" : "failing after the save");
        host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")),
            record(QStringLiteral("2"), QStringLiteral("b")), record(QStringLiteral("3"), QStringLiteral("c")) };
        host.uploads = { record(QStringLiteral("4"), QStringLiteral("d")) };
        store.SaveLoad(QStringLiteral("m"));
        FakeHost h;
        TransferListStore s(h, home.path());
        s.beginSession(QStringLiteral("m"));
        h.onNewDownload = [&](const TransferRecord &r) {
            if (r.IDTel != QLatin1String("2"))
                return;
            s.SaveLoad(QStringLiteral("m"));
            if (!madeAfterAll)
                throw VoxlaneError(QStringLiteral("Erreur socket n°10048 : Address already in use."));
        };
        s.OpenLoad(QStringLiteral("m"), tempPath());
        RecordedErrors::take();
        const auto saved = TransferListDocument::read(readFile(QStringLiteral("m.xml")));
        ASSERT_TRUE(saved.has_value());
        QStringList downloads, uploads;
        for (const auto &e : saved->downloads)
            downloads << e.record.IDTel;
        for (const auto &e : saved->uploads)
            uploads << e.record.IDTel;
        EXPECT_EQ(downloads, QStringList({ "1", "2", "3" }));
        EXPECT_EQ(uploads, QStringList({ "4" }));
    }
}

TEST_F(TransferListStoreTest, AnEntryWhosePortIsTakenIsKeptAndTheOthersLoad)
{
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")), record(QStringLiteral("2"), QStringLiteral("b")),
        record(QStringLiteral("3"), QStringLiteral("c")) };
    store.SaveLoad(QStringLiteral("m"));
    FakeHost h;
    h.onNewDownload = [&](const TransferRecord &r) {
        if (r.IDTel == QLatin1String("2"))
            throw VoxlaneError(QStringLiteral("Erreur socket n°10048 : Address already in use."));
    };
    TransferListStore s(h, home.path());
    s.beginSession(QStringLiteral("m"));
    EXPECT_FALSE(s.OpenLoad(QStringLiteral("m"), tempPath()));
    ASSERT_EQ(h.downloads.size(), 2);
    EXPECT_EQ(h.downloads.at(1).IDTel, QStringLiteral("3"));
    const QStringList errors = RecordedErrors::take();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.at(0).contains(QStringLiteral("10048")));
    EXPECT_TRUE(errors.at(0).contains(QStringLiteral("b (bob)")));
    // The session's own saves keep it; the session's end forgets it.
    ASSERT_TRUE(s.autoSave());
    FakeHost next;
    TransferListStore r(next, home.path());
    ASSERT_TRUE(r.OpenLoad(QStringLiteral("m"), tempPath()));
    EXPECT_EQ(next.downloads.size(), 3);
    s.endSession();
    EXPECT_TRUE(s.keptDownloads().isEmpty());
}

TEST_F(TransferListStoreTest, UnwritableFileThrowsAndLeavesNothingBehind)
{
    // A folder that is not there (tests run with rights that ignore folder
    // permissions, so a missing folder stands for an unwritable one).
    const QString gone = home.filePath(QStringLiteral("gone"));
    TransferListStore s(host, gone);
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")) };
    EXPECT_THROW(s.SaveLoad(QStringLiteral("m")), VoxlaneError);
    EXPECT_FALSE(QFileInfo::exists(gone));
    // A file name taken by a folder cannot be replaced either.
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("d.xml")));
    EXPECT_THROW(store.SaveLoad(QStringLiteral("d")), VoxlaneError);
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("d.xml"))).isDir());
}

// A log-out while the list is still loading saves what has panels and what
// has not been reached yet, and the loading stops.
TEST_F(TransferListStoreTest, SaveDuringLoadingKeepsTheEntriesNotYetMade)
{
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")), record(QStringLiteral("2"), QStringLiteral("b")),
                       record(QStringLiteral("3"), QStringLiteral("c")) };
    host.uploads = { record(QStringLiteral("4"), QStringLiteral("d")) };
    store.SaveLoad(QStringLiteral("m"));

    FakeHost h;
    TransferListStore s(h, home.path());
    h.onPending = [&] {
        if (h.downloads.size() == 1)
            s.SaveLoad(QStringLiteral("m"));
    };
    EXPECT_TRUE(s.OpenLoad(QStringLiteral("m"), tempPath()));
    EXPECT_EQ(h.downloads.size(), 1);
    EXPECT_TRUE(h.uploads.isEmpty());

    FakeHost again;
    TransferListStore r(again, home.path());
    ASSERT_TRUE(r.OpenLoad(QStringLiteral("m"), tempPath()));
    QStringList ids;
    for (const auto &rec : again.downloads + again.uploads)
        ids << rec.IDTel;
    EXPECT_EQ(ids, QStringList({ "1", "2", "3", "4" }));
}

// Each download has its own partial file, named after its transfer id. A
// partial file named by the file name alone (an older client's) is taken
// by the first saved download of that name it can belong to (not longer
// than the file, not finished); any other leftover is left alone and never
// counted for a transfer it does not belong to.
TEST_F(TransferListStoreTest, EachDownloadCountsItsOwnPartialFileOnly)
{
    const auto sized = [](const char *id, const char *name, const char *size, const char *status = "") {
        TransferRecord r = record(QLatin1String(id), QLatin1String(name), 77, QLatin1String(status));
        r.FichierPoids = QLatin1String(size);
        return r;
    };
    host.downloads = { sized("71", "x.bin", "5000"), sized("72", "y.bin", "5000"), sized("73", "z.bin", "100"),
        sized("74", "y.bin", "5000"), sized("75", "w.bin", "5000", "0") };
    store.SaveLoad(QStringLiteral("m"));
    const auto put = [this](const char *name, int size) {
        QFile f(tempPath() + u'/' + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'p'));
    };
    put("71_x.bin", 300); // its own
    put("x.bin", 900); // a leftover of another transfer of that name
    put("y.bin", 400); // an older client's partial file of 72 (or 74)
    put("z.bin", 500); // longer than 73's file: not 73's
    put("w.bin", 10); // 75 is finished: nothing of it is left in temp

    FakeHost h;
    TransferListStore s(h, home.path());
    ASSERT_TRUE(s.OpenLoad(QStringLiteral("m"), tempPath()));
    QStringList counts;
    for (const auto &r : h.downloads)
        counts << r.IDTel + u'=' + QString::number(r.FichierTel);
    // 75 is finished: it holds its whole size, whatever lies in temp.
    EXPECT_EQ(counts, QStringList({ "71=300", "72=400", "73=0", "74=0", "75=5000" }));
    QStringList left = QDir(tempPath()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, QStringList({ "71_x.bin", "72_y.bin", "w.bin", "x.bin", "z.bin" }));
    EXPECT_EQ(QFileInfo(tempPath() + QStringLiteral("/x.bin")).size(), 900);
}

// During a session the file follows the lists: a change asks for a save at
// the next turn of the event loop, a save writes only what differs from the
// last one written, and nothing is written once the session is over (the
// lists are about to be emptied).
TEST_F(TransferListStoreTest, TheSessionsOwnSavesFollowTheLists)
{
    const QString path = home.filePath(QStringLiteral("m.xml"));
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")) };
    store.requestSave(); // no session: nothing
    store.beginSession(QStringLiteral("m"));
    store.requestSave();
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(path); }, 5000));
    EXPECT_TRUE(readFile(QStringLiteral("m.xml")).contains("<IDTel>1</IDTel>"));

    // The same lists are not written again.
    QFile::remove(path);
    EXPECT_TRUE(store.autoSave());
    EXPECT_FALSE(QFile::exists(path));
    host.downloads[0].FichierTel = 500;
    EXPECT_TRUE(store.autoSave());
    EXPECT_TRUE(readFile(QStringLiteral("m.xml")).contains("<FichierTel>500</FichierTel>"));

    store.endSession();
    host.downloads.clear();
    store.requestSave();
    EXPECT_TRUE(store.autoSave());
    QTest::qWait(20);
    EXPECT_TRUE(readFile(QStringLiteral("m.xml")).contains("<IDTel>1</IDTel>"));
}

// A save that cannot be written whole leaves the previous list as it was,
// not a shorter or empty one: the explicit save throws, the session's own
// saves say so once per streak and write the list once they can.
TEST_F(TransferListStoreTest, AFullDiskLeavesThePreviousListWhole)
{
    host.downloads = { record(QStringLiteral("1"), QStringLiteral("a")) };
    store.SaveLoad(QStringLiteral("m"));
    const QByteArray before = readFile(QStringLiteral("m.xml"));
    ASSERT_FALSE(before.isEmpty());
    for (int i = 2; i < 40; ++i)
        host.downloads.append(record(QString::number(i), QStringLiteral("fichier %1.bin").arg(i)));
    QSignalSpy failed(&store, &TransferListStore::autoSaveFailed);
    {
        const FileSizeLimit limit(64);
        EXPECT_THROW(store.SaveLoad(QStringLiteral("m")), VoxlaneError);
        store.beginSession(QStringLiteral("m"));
        EXPECT_FALSE(store.autoSave());
        EXPECT_FALSE(store.autoSave());
    }
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(readFile(QStringLiteral("m.xml")), before);
    EXPECT_EQ(QDir(home.path()).entryList({ QStringLiteral("m.xml*") }, QDir::Files), QStringList { "m.xml" });

    EXPECT_TRUE(store.autoSave());
    const auto saved = TransferListDocument::read(readFile(QStringLiteral("m.xml")));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->downloads.size(), 39);
}

} // namespace

namespace {

const char kChildHomeVariable[] = "VOXLANE_SAVE_CHILD_HOME";

QList<TransferRecord> numbered(int count)
{
    QList<TransferRecord> list;
    for (int i = 0; i < count; ++i)
        list.append(record(QString::number(count * 100 + i), QStringLiteral("fichier é€ %1.bin").arg(i)));
    return list;
}

// Run by the test below as a separate process: saves two different lists
// by turns, forever, until it is killed.
TEST(TransferListSaveChild, SavesUntilKilled)
{
    const QString home = qEnvironmentVariable(kChildHomeVariable);
    if (home.isEmpty())
        GTEST_SKIP() << "only run as the child of KillDuringSaveLeavesOldOrNewList";
    FakeHost host;
    TransferListStore store(host, home);
    const QList<TransferRecord> a = numbered(3), b = numbered(40);
    // Ends by itself should the test that started it be gone.
    const pid_t parent = ::getppid();
    for (unsigned n = 0; ::getppid() == parent; ++n) {
        host.downloads = (n % 2) ? b : a;
        host.uploads = (n % 2) ? a : b;
        store.SaveLoad(QStringLiteral("m"));
        if (n == 0) {
            fputs("ready\n", stdout);
            fflush(stdout);
        }
    }
}

TEST(TransferListSave, KillDuringSaveLeavesOldOrNewList)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildHomeVariable), home.path());
    std::mt19937 random(15);
    std::uniform_int_distribution<int> pause(0, 30000);
    QStringList idsA, idsB;
    for (const auto &r : numbered(3) + numbered(40))
        idsA << r.IDTel;
    for (const auto &r : numbered(40) + numbered(3))
        idsB << r.IDTel;

    for (int round = 0; round < 20; ++round) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    { QStringLiteral("--gtest_filter=TransferListSaveChild.SavesUntilKilled") });
        ASSERT_TRUE(child.waitForStarted());
        // Google Test writes its own lines first: wait for the child's.
        bool ready = false;
        while (!ready) {
            while (!child.canReadLine())
                ASSERT_TRUE(child.waitForReadyRead(60000 * kTimeScale)) << "child never saved";
            ready = child.readLine().trimmed() == "ready";
        }
        QThread::usleep(pause(random));
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(60000 * kTimeScale));

        QFile file(home.filePath(QStringLiteral("m.xml")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "round " << round;
        const auto contents = TransferListDocument::read(file.readAll());
        ASSERT_TRUE(contents.has_value()) << "round " << round;
        QStringList ids;
        for (const auto &e : contents->downloads + contents->uploads)
            ids << e.record.IDTel;
        EXPECT_TRUE(ids == idsA || ids == idsB) << "round " << round;
    }
    // A save cut short leaves its new file beside the list; the next log-in
    // clears those away, and keeps a list set aside.
    QFile bad(home.filePath(QStringLiteral("m.xml.bad100")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.close();
    QFile cut(home.filePath(QStringLiteral("m.xml.Ab12Cd")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.close();
    FakeHost host;
    TransferListStore store(host, home.path());
    EXPECT_TRUE(store.OpenLoad(QStringLiteral("m"), home.path()));
    EXPECT_EQ(QDir(home.path()).entryList({ QStringLiteral("m.xml*") }, QDir::Files, QDir::Name),
        QStringList({ "m.xml", "m.xml.bad100" }));
}

} // namespace
