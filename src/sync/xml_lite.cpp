// ParseXml over the system's XmlLite, taken from the system folder at run time: the programs keep
// importing only KnownDLLs, and Windows ships the parser so we carry none.
#include <windows.h>

#include <objidl.h>
#include <xmllite.h>

#include <atomic>
#include <string>

#include "sync/xml_events.h"
#include "text/text_codec.h"
#include "ui/dll_search.h"

namespace {

// The document as a stream the reader pulls from, without copying it. Wine's XmlLite keeps the
// wrong bytes of a read that ends inside or after a multi-byte character (it holds one byte back for
// the next read, and moves the wrong one), so a read ends after an ASCII byte, where every reader
// holds nothing back. Markup and the line breaks of iCalendar text put one in every few dozen bytes;
// a run longer than a whole read without any is refused under Wine rather than read damaged.
class ByteStream final : public ISequentialStream {
  public:
    ByteStream(std::string_view bytes, std::size_t pieceBytes, bool refuseLongRuns)
        : m_bytes(bytes), m_piece(pieceBytes), m_refuseLongRuns(refuseLongRuns) {}

    bool Refused() const { return m_refused; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (iid == __uuidof(IUnknown) || iid == __uuidof(ISequentialStream)) {
            *out = static_cast<ISequentialStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on ParseXml's stack, which outlasts the reader: the count only keeps COM's rules.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        std::size_t n = size < m_bytes.size() ? size : m_bytes.size();
        if (m_piece != 0 && m_piece < n) {
            n = m_piece;
        }
        if (n < m_bytes.size()) {
            std::size_t cut = n;
            while (cut > 0 && static_cast<unsigned char>(m_bytes[cut - 1]) >= 0x80) {
                --cut;
            }
            if (cut == 0 && m_refuseLongRuns) {
                m_refused = true;
                if (read) {
                    *read = 0;
                }
                return E_FAIL;
            }
            if (cut > 0) {
                n = cut;
            }
        }
        if (n) {
            memcpy(buffer, m_bytes.data(), n);
        }
        m_bytes.remove_prefix(n);
        if (read) {
            *read = static_cast<ULONG>(n);
        }
        return m_bytes.empty() && n < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }

  private:
    std::string_view m_bytes;
    std::size_t m_piece; // the most one read hands on; 0: as much as asked for
    bool m_refuseLongRuns;
    bool m_refused = false;
    std::atomic<ULONG> m_refs{1};
};

template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (m_p) {
            m_p->Release();
        }
    }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    void** out() { return reinterpret_cast<void**>(&m_p); }

  private:
    T* m_p = nullptr;
};

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFn CreateReader() {
    static const CreateXmlReaderFn fn = [] {
        HMODULE module = ui::LoadSystemDll(L"xmllite.dll");
        return module ? reinterpret_cast<CreateXmlReaderFn>(
                            reinterpret_cast<void*>(::GetProcAddress(module, "CreateXmlReader")))
                      : nullptr;
    }();
    return fn;
}

// Wine's ntdll says its version; Windows' has no such export.
bool UnderWine() {
    static const bool wine = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

std::string Utf8(const WCHAR* text, UINT length) {
    return text_codec::Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::string Hex(HRESULT hr) {
    char digits[16];
    snprintf(digits, sizeof digits, "0x%08lX", static_cast<unsigned long>(hr));
    return digits;
}

// The replies are read as UTF-8 whatever they declare, as expat is told to. Some XmlLite builds
// (Wine's) read bytes that are no UTF-8 as U+FFFD instead of refusing them. Checked a slice at a time, each
// cut before a lead byte, so a large reply is never held twice over.
bool IsUtf8(std::string_view bytes) {
    constexpr std::size_t kSlice = 1u << 20;
    while (!bytes.empty()) {
        std::size_t n = bytes.size() <= kSlice ? bytes.size() : kSlice;
        while (n < bytes.size() && n > kSlice - 4 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) {
            --n;
        }
        if (!text_codec::Utf16FromUtf8(bytes.substr(0, n))) {
            return false;
        }
        bytes.remove_prefix(n);
    }
    return true;
}

// A prefix that names no namespace is an error the parser may let through (Wine's does).
bool PrefixUndeclared(IXmlReader* reader, UINT nsLength) {
    const WCHAR* name = nullptr;
    UINT length = 0;
    return nsLength == 0 && SUCCEEDED(reader->GetQualifiedName(&name, &length)) &&
           std::wstring_view(reinterpret_cast<const wchar_t*>(name), length).find(L':') !=
               std::wstring_view::npos;
}

constexpr std::wstring_view kXmlnsUri = L"http://www.w3.org/2000/xmlns/";

// The value of the node the reader stands on, handed on in pieces; a surrogate pair split by a
// piece's end waits for its second half.
HRESULT SendText(IXmlReader* reader, XmlEvents& events) {
    WCHAR chunk[4096];
    UINT held = 0;
    for (;;) {
        UINT got = 0;
        const HRESULT hr =
            reader->ReadValueChunk(chunk + held, static_cast<UINT>(std::size(chunk)) - held, &got);
        if (hr == E_NOTIMPL && held == 0) {
            const WCHAR* value = nullptr;
            UINT length = 0;
            const HRESULT whole = reader->GetValue(&value, &length);
            if (SUCCEEDED(whole) && length) {
                events.Text(Utf8(value, length));
            }
            return whole;
        }
        if (FAILED(hr)) {
            return hr;
        }
        UINT total = held + got;
        if (total == 0) {
            return S_OK;
        }
        held = 0;
        if (hr == S_OK && chunk[total - 1] >= 0xD800 && chunk[total - 1] <= 0xDBFF) {
            --total;
            held = 1;
        }
        events.Text(Utf8(chunk, total));
        if (held) {
            chunk[0] = chunk[total];
        }
        if (hr == S_FALSE || got == 0) {
            if (held) {
                events.Text(Utf8(chunk, 1));
            }
            return S_OK;
        }
    }
}

HRESULT SendAttributes(IXmlReader* reader, XmlEvents& events) {
    HRESULT hr = reader->MoveToFirstAttribute();
    while (hr == S_OK) {
        const WCHAR *ns = nullptr, *local = nullptr, *value = nullptr;
        UINT nsLength = 0, localLength = 0, valueLength = 0;
        if (FAILED(reader->GetNamespaceUri(&ns, &nsLength)) ||
            FAILED(reader->GetLocalName(&local, &localLength)) ||
            FAILED(reader->GetValue(&value, &valueLength))) {
            return E_FAIL;
        }
        // Namespace declarations are the parser's business, as they are with expat.
        const std::wstring_view nsView(reinterpret_cast<const wchar_t*>(ns), nsLength);
        const bool declaration = nsView == kXmlnsUri ||
                                 (nsLength == 0 && std::wstring_view(reinterpret_cast<const wchar_t*>(local),
                                                                     localLength) == L"xmlns");
        if (!declaration && PrefixUndeclared(reader, nsLength)) {
            return E_FAIL;
        }
        if (!declaration) {
            events.Attribute(Utf8(ns, nsLength), Utf8(local, localLength), Utf8(value, valueLength));
        }
        hr = reader->MoveToNextAttribute();
    }
    if (FAILED(hr)) {
        return hr;
    }
    return reader->MoveToElement();
}

// The element the reader is on, its attributes, and its end when it is empty; why not, else empty.
std::string TakeElement(IXmlReader* reader, XmlEvents& events, std::size_t& depth) {
    if (++depth > kMaxXmlDepth) {
        return "elements nested too deep";
    }
    const WCHAR *ns = nullptr, *local = nullptr;
    UINT nsLength = 0, localLength = 0;
    if (FAILED(reader->GetNamespaceUri(&ns, &nsLength)) ||
        FAILED(reader->GetLocalName(&local, &localLength))) {
        return "an element without a name";
    }
    if (PrefixUndeclared(reader, nsLength)) {
        return "an element prefix bound to no namespace";
    }
    // Asked before the attributes move the reader off the element.
    const bool empty = reader->IsEmptyElement();
    events.StartElement(Utf8(ns, nsLength), Utf8(local, localLength));
    if (FAILED(SendAttributes(reader, events))) {
        return "an attribute could not be read";
    }
    if (empty) {
        --depth;
        events.EndElement();
    }
    return {};
}

} // namespace

std::string ParseXml(std::string_view bytes, XmlEvents& events, std::size_t pieceBytes) {
    const CreateXmlReaderFn create = CreateReader();
    if (!create) {
        return "the system's XML reader (xmllite.dll) is missing";
    }
    if (!IsUtf8(bytes)) {
        return "bytes that are no UTF-8";
    }
    ComPtr<IXmlReader> reader;
    if (FAILED(create(__uuidof(IXmlReader), reader.out(), nullptr))) {
        return "the system's XML reader could not be made";
    }
    // Entities are how a small reply grows into a large one: no DTD at all.
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    reader->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxXmlDepth + 1);
    ByteStream stream(bytes, pieceBytes, UnderWine());
    if (FAILED(reader->SetInput(&stream))) {
        return "the system's XML reader refused the input";
    }
    std::size_t depth = 0;
    bool sawRoot = false;
    std::string error;
    for (;;) {
        XmlNodeType type = XmlNodeType_None;
        const HRESULT hr = reader->Read(&type);
        if (hr == S_FALSE) {
            break;
        }
        if (FAILED(hr) && stream.Refused()) {
            error = "a run of text without a line break longer than the system's XML reader takes whole";
            break;
        }
        if (FAILED(hr)) {
            UINT line = 0;
            reader->GetLineNumber(&line);
            error = "line " + std::to_string(line) + ": not well-formed XML (" + Hex(hr) + ")";
            break;
        }
        if (type == XmlNodeType_DocumentType) {
            error = "a document type declaration";
            break;
        }
        if (type == XmlNodeType_Element) {
            sawRoot = true;
            error = TakeElement(reader.get(), events, depth);
            if (!error.empty()) {
                break;
            }
        } else if (type == XmlNodeType_EndElement) {
            --depth;
            events.EndElement();
        } else if ((type == XmlNodeType_Text || type == XmlNodeType_CDATA ||
                    type == XmlNodeType_Whitespace) &&
                   depth > 0) {
            if (FAILED(SendText(reader.get(), events))) {
                error = "text could not be read";
                break;
            }
        }
    }
    if (error.empty() && (!sawRoot || depth != 0)) {
        error = sawRoot ? "the document ends inside an element" : "no element";
    }
    return error;
}
