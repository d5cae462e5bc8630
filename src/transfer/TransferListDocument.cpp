#include "transfer/TransferListDocument.h"

#include "base/TextConvert.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <memory>

namespace {

struct DocDeleter
{
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

const xmlChar *x(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

// XML 1.0 has no way at all to carry most control characters, not even as a
// character reference; one of them in a value would make the whole file
// unreadable at the next log-in. It becomes '?', the same stand-in the
// program uses for a character its code page cannot carry.
QByteArray xmlSafeUtf8(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            safe.append(c);
            safe.append(text.at(++i));
            continue;
        }
        const bool allowed = u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u < 0xD800)
                             || (u >= 0xE000 && u <= 0xFFFD);
        safe.append(allowed ? c : QChar(u'?'));
    }
    return safe.toUtf8();
}

void addText(xmlNode *parent, const char *name, const QString &value)
{
    // xmlNewTextChild takes the value as plain text and escapes it itself.
    xmlNewTextChild(parent, nullptr, x(name), x(xmlSafeUtf8(value).constData()));
}

void addSection(xmlNode *root, const char *name, const QList<TransferRecord> &records)
{
    if (records.isEmpty())
        return;
    xmlNode *section = xmlNewChild(root, nullptr, x(name), nullptr);
    for (const TransferRecord &r : records) {
        xmlNode *f = xmlNewChild(section, nullptr, x("Fichier"), nullptr);
        addText(f, "IDTel", r.IDTel);
        addText(f, "FichierName", r.FichierName);
        addText(f, "FichierProprio", r.FichierProprio);
        addText(f, "FichierPath", r.FichierPath);
        addText(f, "FichierPoids", r.FichierPoids);
        addText(f, "FichierTel", QString::number(r.FichierTel));
        addText(f, "Port", QString::number(r.Port));
        addText(f, "Status", r.Status);
    }
}

bool named(const xmlNode *node, const char *name)
{
    return node && node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, x(name));
}

const xmlNode *nextElement(const xmlNode *node)
{
    while (node && node->type != XML_ELEMENT_NODE)
        node = node->next;
    return node;
}

const xmlNode *childNamed(const xmlNode *parent, const char *name)
{
    if (!parent)
        return nullptr;
    for (const xmlNode *c = parent->children; c; c = c->next)
        if (named(c, name))
            return c;
    return nullptr;
}

// The text of an element: its text and CDATA content, nested elements
// included. Entity references stay unexpanded on purpose.
void collectText(const xmlNode *node, QByteArray &out)
{
    for (const xmlNode *c = node->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE)
            out.append(reinterpret_cast<const char *>(c->content));
        else if (c->type == XML_ELEMENT_NODE)
            collectText(c, out);
    }
}

QString textOf(const xmlNode *node)
{
    if (!node)
        return QString();
    QByteArray utf8;
    collectText(node, utf8);
    return QString::fromUtf8(utf8);
}

QString childText(const xmlNode *parent, const char *name)
{
    return textOf(childNamed(parent, name));
}

QList<TransferListDocument::Entry> readSection(const xmlNode *section)
{
    QList<TransferListDocument::Entry> entries;
    for (const xmlNode *f = childNamed(section, "Fichier"); f; f = nextElement(f->next)) {
        TransferListDocument::Entry e;
        TransferRecord &r = e.record;
        r.IDTel = childText(f, "IDTel");
        r.FichierName = childText(f, "FichierName");
        r.FichierProprio = childText(f, "FichierProprio");
        r.FichierPath = childText(f, "FichierPath");
        r.FichierPoids = childText(f, "FichierPoids");
        r.Status = childText(f, "Status");
        const QString count = childText(f, "FichierTel");
        const QString port = childText(f, "Port");
        if (!count.isEmpty() && !TextConvert::tryStrToInt64(count, r.FichierTel)) {
            r.FichierTel = 0;
            e.badCount = count;
        }
        if (!TextConvert::tryStrToInt(port, r.Port)) {
            r.Port = 0;
            e.badPort = port;
        }
        entries.append(e);
    }
    return entries;
}

} // namespace

QByteArray TransferListDocument::write(const QList<TransferRecord> &downloads,
                                       const QList<TransferRecord> &uploads)
{
    DocPtr doc(xmlNewDoc(x("1.0")));
    xmlNode *root = xmlNewDocNode(doc.get(), nullptr, x("Voxlane"), nullptr);
    xmlDocSetRootElement(doc.get(), root);
    xmlNode *info = xmlNewChild(root, nullptr, x("Info"), nullptr);
    addText(info, "NbUpLoad", QString::number(uploads.size()));
    addText(info, "NbDownLoad", QString::number(downloads.size()));
    addSection(root, "Download", downloads);
    addSection(root, "Upload", uploads);

    xmlChar *mem = nullptr;
    int size = 0;
    // No formatting: the only line breaks are the one after the declaration
    // and the one ending the file.
    xmlDocDumpFormatMemoryEnc(doc.get(), &mem, &size, "ISO-8859-1", 0);
    QByteArray bytes(reinterpret_cast<const char *>(mem), size);
    xmlFree(mem);
    return bytes;
}

std::optional<TransferListDocument::Contents> TransferListDocument::read(const QByteArray &bytes,
                                                                         QString *error)
{
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        if (error)
            *error = QStringLiteral("out of memory");
        return std::nullopt;
    }
    DocPtr doc(xmlCtxtReadMemory(ctxt, bytes.constData(), int(bytes.size()), nullptr, nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!doc || !root) {
        if (error) {
            const xmlError *e = xmlCtxtGetLastError(ctxt);
            *error = e && e->message ? QString::fromUtf8(e->message).trimmed()
                                     : QStringLiteral("no root element");
            if (e && e->line > 0)
                *error += QStringLiteral(" (line %1)").arg(e->line);
        }
        xmlFreeParserCtxt(ctxt);
        return std::nullopt;
    }
    xmlFreeParserCtxt(ctxt);

    Contents c;
    const xmlNode *info = childNamed(root, "Info");
    c.hasInfo = info != nullptr;
    c.NbUpLoad = childText(info, "NbUpLoad");
    c.NbDownLoad = childText(info, "NbDownLoad");
    const xmlNode *download = childNamed(root, "Download");
    const xmlNode *upload = childNamed(root, "Upload");
    c.hasDownload = download != nullptr;
    c.hasUpload = upload != nullptr;
    c.downloads = readSection(download);
    c.uploads = readSection(upload);
    return c;
}
