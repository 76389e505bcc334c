// The discovery XML file: written by a discover run, read back by an upgrade run.
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "logfile.h"
#include "stringhelper.h"
#include "toolkit.h"
#include "xml.h"

int debug_xml = 0;

namespace {

using namespace xercesc;

using firmware::copy_field;

// A value of the file is cut to the length of the record's text fields.
constexpr size_t kValueSize = sizeof(driveinfo::ProductID);
// Bounds the entity expansions of an untrusted file.
constexpr XMLSize_t kEntityExpansionLimit = 100;
// The largest real plan (23 drives) is a few KB; the parser's time grows with
// the square of nesting depth and of attributes per element, so a larger file
// is refused unread.
constexpr size_t kPlanMaxBytes = 64 * 1024;

// Terminates the XML library when the call that initialised it returns; declared
// before every other XML object so that it goes last.
struct PlatformSession {
    PlatformSession() = default;
    PlatformSession(const PlatformSession &) = delete;
    PlatformSession &operator=(const PlatformSession &) = delete;
    ~PlatformSession() { XMLPlatformUtils::Terminate(); }
};

// Local text as an XML string, released on scope exit.
class XmlText {
public:
    explicit XmlText(const char *s) : p_(XMLString::transcode(s)) {}
    XmlText(const XmlText &) = delete;
    XmlText &operator=(const XmlText &) = delete;
    ~XmlText() { XMLString::release(&p_); }
    const XMLCh *get() const { return p_; }

private:
    XMLCh *p_;
};

// XML string as local text, released on scope exit; never null.
class LocalText {
public:
    explicit LocalText(const XMLCh *s) : p_(s ? XMLString::transcode(s) : nullptr) {}
    LocalText(const LocalText &) = delete;
    LocalText &operator=(const LocalText &) = delete;
    ~LocalText()
    {
        if (p_)
            XMLString::release(&p_);
    }
    const char *get() const { return p_ ? p_ : ""; }

private:
    char *p_;
};

// DOM objects that are given back with release() rather than delete.
struct DomReleaser {
    template <class T>
    void operator()(T *p) const
    {
        if (p)
            p->release();
    }
};
template <class T>
using DomPtr = std::unique_ptr<T, DomReleaser>;

// ---- writing ----

void append_value(DOMDocument *doc, DOMElement *parent, const char *name, const char *value)
{
    XmlText tag(name);
    XmlText attr("value");
    XmlText text(value);
    DOMElement *e = doc->createElement(tag.get());
    e->setAttribute(attr.get(), text.get());
    parent->appendChild(e);
}

DOMElement *append_container(DOMDocument *doc, DOMElement *parent, const char *name)
{
    XmlText tag(name);
    DOMElement *e = doc->createElement(tag.get());
    parent->appendChild(e);
    return e;
}

void append_device(DOMDocument *doc, DOMElement *devices, const driveinfo &d)
{
    char buf[512];
    DOMElement *device = append_container(doc, devices, "device");

    std::snprintf(buf, sizeof buf, "%#08x", static_cast<unsigned>(d.DriveID));
    append_value(doc, device, "device_id", buf);
    append_value(doc, device, "product_id", d.ProductID);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(d.DRV.bus_addr));
    append_value(doc, device, "busnumber", buf);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(d.DRV.card_id));
    append_value(doc, device, "devicenumber", buf);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(d.DRV.lun));
    append_value(doc, device, "funcnumber", buf);

    DOMElement *fw = append_container(doc, device, "fw_item");
    append_value(doc, fw, "type", d._Type);
    append_value(doc, fw, "firmware_id", d.FirmwareId);
    std::snprintf(buf, sizeof buf, "%f", d.ActiveVersion);
    append_value(doc, fw, "version", buf);
    std::snprintf(buf, sizeof buf, "%f", d.FwVersion);
    append_value(doc, fw, "active_version", buf);
    append_value(doc, fw, "action", d.Action);
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(d.Duration));
    append_value(doc, fw, "duration", buf);
    append_value(doc, fw, "message", "");
    append_value(doc, fw, "shared", "no");
}

void fill_document(DOMDocument *doc, const driveinfo *lst_drive)
{
    DOMElement *root = doc->getDocumentElement();
    {
        XmlText attr("version");
        XmlText text("2.0.0.0");
        root->setAttribute(attr.get(), text.get());
    }
    append_value(doc, root, "type", "TAPE");
    append_value(doc, root, "alt_name", "KV TAPE Firmware for Drive x, Drive y, and Drive z for Windows");
    append_value(doc, root, "version", "2.0.3");
    append_value(doc, root, "takes_effect", "immediate");
    DOMElement *devices = append_container(doc, root, "devices");
    for (int i = 0; i < MAX_DRIVES; i++)
        if (lst_drive[i].Configured)
            append_device(doc, devices, lst_drive[i]);
}

// Cuts the path into directory and file name and makes the directory when it
// is missing. Returns 0, or 1 when the path names no file.
int prepare_directory(const char *xmlfile)
{
    char path[XML_PATH_MAX + 1];
    char tmp[XML_PATH_MAX + 1];
    copy_field(path, sizeof path, xmlfile);
    char empty[1] = "";
    char *xml_dir = empty;

    if (char *slash = std::strrchr(path, '/')) {
        *slash = '\0';
        const char *xml_file = slash + 1;
        xml_dir = path;
        copy_field(tmp, sizeof tmp, xml_dir);
        if (alphanumeric(tmp)[0] == '\0')
            xml_dir = empty;  // "", "." or "..": nothing to make
        copy_field(tmp, sizeof tmp, xml_file);
        if (trim(tmp)[0] == '\0') {
            std::fprintf(stderr, "Error : Xml filename not specified\n");
            return 1;
        }
    }
    // A backslash separates a directory too; the file is still created at the
    // path as given.
    if (char *backslash = std::strrchr(path, '\\')) {
        *backslash = '\0';
        xml_dir = path;
    }
    xml_dir = trim(xml_dir);
    if (xml_dir[0] != '\0')
        create_directory(xml_dir);  // a failure shows when the file is created
    return 0;
}

// The file the serialiser writes to, through a descriptor of its own: every
// write and the close are checked, whatever the file is, so a full device or
// disk, which may say so only at the close, is never taken for a plan
// written. The bytes are kept until the document is whole (a plan of 23
// drives is a few KB) and then written at once.
class PlanFile : public XMLFormatTarget {
public:
    explicit PlanFile(const char *path) : path_(path) {}
    void writeChars(const XMLByte *const data, const XMLSize_t n, XMLFormatter *const) override
    {
        bytes_.append(reinterpret_cast<const char *>(data), n);
    }
    void flush() override {}
    // Creates or truncates the file and writes it: 0, or the errno of the call
    // that failed and, in `what`, that call's name.
    int write(const char *&what) const
    {
        what = "unable to create";
        int fd = open(path_, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0)
            return errno;
        what = "unable to write";
        return firmware::write_and_close(fd, bytes_.data(), bytes_.size());
    }

private:
    const char *path_;
    std::string bytes_;
};

void report_output_error(const char *message)
{
    std::fprintf(stderr, "An error occurred during creation of output transcoder. Msg is:\n%s\n", message);
}

void report_system_error(const char *what, const std::string &path, int error)
{
    std::string why = std::string(what) + " '" + path + "': " + std::strerror(error);
    report_output_error(why.c_str());
}

// Serialises the document to `path`; 0, or 1 after reporting why.
int write_document(DOMDocument *doc, const char *path)
{
    PlanFile file(path);
    try {
        XmlText ls("LS");
        auto *impl = static_cast<DOMImplementationLS *>(
            DOMImplementationRegistry::getDOMImplementation(ls.get()));
        if (!impl) {
            std::fprintf(stderr, "Requested implementation is not supported\n");
            return 1;
        }
        DomPtr<DOMLSSerializer> writer(impl->createLSSerializer());
        DomPtr<DOMLSOutput> output(impl->createLSOutput());
        output->setByteStream(&file);
        if (!writer->write(doc, output.get())) {
            report_output_error("the document could not be serialised");
            return 1;
        }
    } catch (const OutOfMemoryException &) {
        std::fprintf(stderr, "OutOfMemoryException\n");
        return 1;
    } catch (const XMLException &e) {
        LocalText msg(e.getMessage());
        report_output_error(msg.get());
        return 1;
    } catch (const DOMException &e) {
        LocalText msg(e.getMessage());
        report_output_error(msg.get());
        return 1;
    }
    const char *what = nullptr;
    if (int error = file.write(what)) {
        report_system_error(what, path, error);
        return 1;
    }
    return 0;
}

// A plan is written whole before it takes the place of the one before, so a
// failure never leaves a plan cut off.
int serialise(DOMDocument *doc, const char *xmlfile)
{
    using firmware::TemporaryWrite;
    const TemporaryWrite w = firmware::write_through_temporary(xmlfile, [doc](const char *path) {
        return write_document(doc, path) == 0;
    });
    switch (w.outcome) {
    case TemporaryWrite::written:
        return 0;
    case TemporaryWrite::writer_failed:
        break;
    case TemporaryWrite::no_temporary:
        report_system_error("unable to create a file beside", w.target, w.error);
        break;
    case TemporaryWrite::not_renamed:
        report_system_error("unable to put the file in place of", w.target, w.error);
        break;
    case TemporaryWrite::refused_link:
        _log(("Error: XML file " + firmware::shown(xmlfile) +
              " leads through a link another user owns in a shared directory; not written.\n")
                 .c_str());
        break;
    }
    return 1;
}

// ---- reading ----

// The first descendant of `from` named `tag`, or null.
DOMElement *first_element(DOMElement *from, const char *tag)
{
    if (!from)
        return nullptr;
    XmlText name(tag);
    DOMNodeList *list = from->getElementsByTagName(name.get());
    DOMNode *node = list ? list->item(0) : nullptr;
    return node && node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement *>(node) : nullptr;
}

// The `value` attribute of the first descendant of `from` named `tag`, cut to
// the field; empty when there is no such element or attribute. Traced with
// `indent` when tracing.
void first_value(DOMElement *from, const char *tag, char *dst, size_t cap, const char *indent)
{
    dst[0] = '\0';
    if (DOMElement *element = first_element(from, tag)) {
        XmlText attr("value");
        LocalText value(element->getAttribute(attr.get()));
        copy_field(dst, cap, value.get());
    }
    if (debug_xml)
        std::printf("%s%s : %s\n", indent, tag, firmware::shown(dst).c_str());
}

// A missing element reads as an empty value.
void read_device(DOMElement *device, driveinfo &d)
{
    char text[kValueSize];

    first_value(device, "device_id", text, sizeof text, "\t");
    d.DriveID = hex_value(text);
    first_value(device, "product_id", d.ProductID, sizeof d.ProductID, "\t");
    first_value(device, "busnumber", text, sizeof text, "\t");
    d.DRV.bus_addr = int_value(text);
    first_value(device, "devicenumber", text, sizeof text, "\t");
    d.DRV.card_id = int_value(text);
    first_value(device, "funcnumber", text, sizeof text, "\t");
    d.DRV.lun = int_value(text);

    DOMElement *fw = first_element(device, "fw_item");
    first_value(fw, "type", d._Type, sizeof d._Type, "\t\t");
    first_value(fw, "firmware_id", d.FirmwareId, sizeof d.FirmwareId, "\t\t");
    first_value(fw, "version", text, sizeof text, "\t\t");
    d.ActiveVersion = decimal_value(text);
    first_value(fw, "active_version", text, sizeof text, "\t\t");
    d.FwVersion = decimal_value(text);
    first_value(fw, "action", d.Action, sizeof d.Action, "\t\t");
    // Trimmed once here: " upgrade" is flashed or not the same way whatever
    // reads the record next.
    trim(d.Action);
    first_value(fw, "duration", text, sizeof text, "\t\t");
    d.Duration = static_cast<u_int32>(std::strtoul(text, nullptr, 10));
    first_value(fw, "message", d.Message, sizeof d.Message, "\t\t");
    first_value(fw, "shared", text, sizeof text, "\t\t");
    d.Shared = std::strcmp(upper(trim(text)), "YES") == 0 ? 0 : 1;

    d.Configured = 1;
}

// Fills records from the `devices` children; returns 1 when the file lists
// more devices than the table holds (the records filled stay).
int read_devices(DOMElement *devices, driveinfo *lst_drive, int &recordnum)
{
    for (DOMNode *n = devices->getFirstChild(); n; n = n->getNextSibling()) {
        if (n->getNodeType() != DOMNode::ELEMENT_NODE)
            continue;
        if (recordnum >= MAX_DRIVES)
            return 1;
        read_device(static_cast<DOMElement *>(n), lst_drive[recordnum]);
        recordnum++;
    }
    return 0;
}

int walk(DOMElement *root, driveinfo *lst_drive)
{
    int recordnum = 0;
    XmlText devices("devices");
    for (DOMNode *n = root->getFirstChild(); n; n = n->getNextSibling()) {
        if (n->getNodeType() != DOMNode::ELEMENT_NODE)
            continue;
        auto *e = static_cast<DOMElement *>(n);
        if (XMLString::equals(e->getTagName(), devices.get())) {
            if (read_devices(e, lst_drive, recordnum))
                return 1;
        }
    }
    return 0;
}

}  // namespace

int WriteToXml(const char *xmlfile, driveinfo *lst_drive)
{
    if (std::strlen(xmlfile) > XML_PATH_MAX) {
        std::fprintf(stderr, "Error : Xml filename too long\n");
        return 1;
    }
    if (prepare_directory(xmlfile))
        return 1;

    try {
        XMLPlatformUtils::Initialize();
    } catch (const XMLException &e) {
        LocalText msg(e.getMessage());
        std::fprintf(stderr, "Error during Xerces-c Initialization.\n  Exception message:%s", msg.get());
        return 1;
    }
    PlatformSession session;

    XmlText core("Core");
    DOMImplementation *impl = DOMImplementationRegistry::getDOMImplementation(core.get());
    if (!impl) {
        std::fprintf(stderr, "Requested implementation is not supported\n");
        return 1;
    }

    DomPtr<DOMDocument> doc;
    try {
        XmlText root("kv_rom_discovery");
        doc.reset(impl->createDocument(nullptr, root.get(), nullptr));
        if (!doc) {
            std::fprintf(stderr, "doc is NULL:\n");
            return 1;
        }
        fill_document(doc.get(), lst_drive);
    } catch (const OutOfMemoryException &) {
        std::fprintf(stderr, "OutOfMemoryException\n");
        return 1;
    } catch (const DOMException &e) {
        std::fprintf(stderr, "DOMException code is:  %d\n", static_cast<int>(e.code));
        return 1;
    } catch (...) {
        std::fprintf(stderr, "An error occurred creating the document\n");
        return 1;
    }

    return serialise(doc.get(), xmlfile);
}

namespace {

// Why a plan is refused before it is parsed, or null. The writer never puts a
// document type declaration in, and the parser is at its weakest inside one.
// The document is parsed as UTF-8, so the declaration cannot hide in another
// encoding.
const char *refusal(const char *data, size_t size)
{
    if (size > kPlanMaxBytes)
        return "is larger than 65536 bytes";
    static const char kDoctype[] = "<!DOCTYPE";
    const size_t n = sizeof kDoctype - 1;
    for (size_t i = 0; i + n <= size; ++i)
        if (data[i] == '<' && std::memcmp(data + i, kDoctype, n) == 0)
            return "holds a document type declaration";
    return nullptr;
}

// Reads a regular file whole, or its first kPlanMaxBytes + 1 bytes when it is
// larger. A FIFO or device is refused without waiting for a writer.
bool read_plan_file(const char *path, std::string &text)
{
    int fd = firmware::open_regular_file(path);
    if (fd < 0)
        return false;
    bool ok = true;
    char chunk[8192];
    while (ok && text.size() <= kPlanMaxBytes) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

// The reader proper, over a document in memory that passed refusal().
int parse_plan(const char *data, size_t size, driveinfo *lst_drive)
{
    try {
        XMLPlatformUtils::Initialize();
    } catch (const XMLException &e) {
        if (debug_xml) {
            LocalText msg(e.getMessage());
            std::printf("Error during initialization! :\n%s\n", msg.get());
        }
        return 1;
    }
    PlatformSession session;

    int errorsOccured = 0;
    try {
        SecurityManager security;
        security.setEntityExpansionLimit(kEntityExpansionLimit);
        HandlerBase handler;
        XercesDOMParser parser;
        parser.setValidationScheme(XercesDOMParser::Val_Always);
        parser.setDoNamespaces(true);
        parser.setErrorHandler(&handler);
        // The file is untrusted: never fetch what it points at.
        parser.setDisableDefaultEntityResolution(true);
        parser.setSecurityManager(&security);

        MemBufInputSource source(reinterpret_cast<const XMLByte *>(data), size, "plan");
        source.setEncoding(XMLUni::fgUTF8EncodingString);
        parser.parse(source);
        DOMDocument *doc = parser.getDocument();
        DOMElement *root = doc ? doc->getDocumentElement() : nullptr;
        if (!root) {
            if (debug_xml)
                std::printf("xmlDoc is null ");
            return 1;
        }
        errorsOccured += walk(root, lst_drive);
    } catch (const XMLException &e) {
        if (debug_xml) {
            LocalText msg(e.getMessage());
            std::printf("Exception message is: \n%s\n", msg.get());
        }
        errorsOccured++;
    } catch (const DOMException &e) {
        if (debug_xml) {
            LocalText msg(e.getMessage());
            std::printf("Exception message is: \n%s\n", msg.get());
        }
        errorsOccured++;
    } catch (...) {
        if (debug_xml)
            std::printf("Unexpected Exception \n");
        errorsOccured++;
    }
    return errorsOccured;
}

}  // namespace

int ReadFromXml(const char *xmlfile, driveinfo *lst_drive)
{
    firmware::clear_table(lst_drive);
    std::string text;
    if (!read_plan_file(xmlfile, text))
        return 1;
    if (const char *why = refusal(text.data(), text.size())) {
        _log(("Error: XML file " + std::string(xmlfile) + " " + why + "; not read.\n").c_str());
        return 1;
    }
    return parse_plan(text.data(), text.size(), lst_drive);
}

int ReadFromXmlBuffer(const char *data, size_t size, driveinfo *lst_drive)
{
    firmware::clear_table(lst_drive);
    if (data == nullptr || refusal(data, size))
        return 1;
    return parse_plan(data, size, lst_drive);
}
