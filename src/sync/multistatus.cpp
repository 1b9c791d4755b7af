// The multistatus reader: a small state machine over the element path.
#include "sync/multistatus.h"

#include "sync/ical_text.h"
#include "sync/xml_events.h"

namespace {

constexpr std::string_view kDav = "DAV:";
constexpr std::string_view kCalDav = "urn:ietf:params:xml:ns:caldav";

enum class El {
    kOther,
    kMultistatus,
    kResponse,
    kHref,
    kStatus,
    kPropstat,
    kProp,
    kEtag,
    kCalendarData,
    kDisplayName,
    kResourceType,
    kCollection,
    kCalendar,
    kPrincipal,
    kHomeSet,
    kComponentSet,
    kComp,
    kSyncToken,
};

El Classify(std::string_view ns, std::string_view local) {
    if (ns == kDav) {
        static const std::pair<std::string_view, El> names[] = {{"multistatus", El::kMultistatus},
                                                                {"response", El::kResponse},
                                                                {"href", El::kHref},
                                                                {"status", El::kStatus},
                                                                {"propstat", El::kPropstat},
                                                                {"prop", El::kProp},
                                                                {"getetag", El::kEtag},
                                                                {"displayname", El::kDisplayName},
                                                                {"resourcetype", El::kResourceType},
                                                                {"collection", El::kCollection},
                                                                {"current-user-principal", El::kPrincipal},
                                                                {"sync-token", El::kSyncToken}};
        for (const auto& [name, el] : names) {
            if (local == name) {
                return el;
            }
        }
    } else if (ns == kCalDav) {
        if (local == "calendar-data")
            return El::kCalendarData;
        if (local == "calendar")
            return El::kCalendar;
        if (local == "calendar-home-set")
            return El::kHomeSet;
        if (local == "supported-calendar-component-set")
            return El::kComponentSet;
        if (local == "comp")
            return El::kComp;
    }
    return El::kOther;
}

std::string Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

class Reader final : public XmlEvents {
  public:
    explicit Reader(const std::function<void(DavResponse&)>& each) : m_each(each) {}

    Multistatus result;

    void StartElement(std::string_view ns, std::string_view local) override {
        const El el = Classify(ns, local);
        const El parent = m_path.empty() ? El::kOther : m_path.back();
        m_path.push_back(el);
        m_text.clear();
        m_overflow = false;
        if (m_path.size() == 1 && el != El::kMultistatus) {
            Fail("the reply is no multistatus");
        } else if (el == El::kResponse && parent == El::kMultistatus) {
            if (m_responses++ >= kMaxDavResponses) {
                Fail("too many responses");
                return;
            }
            result.responses.emplace_back();
            m_inResponse = true;
        } else if (el == El::kPropstat && m_inResponse) {
            m_propstat = DavProps{};
            m_propstatStatus = 0;
        } else if (el == El::kCollection && parent == El::kResourceType) {
            m_propstat.isCollection = true;
        } else if (el == El::kCalendar && parent == El::kResourceType) {
            m_propstat.isCalendar = true;
        }
    }

    void Attribute(std::string_view ns, std::string_view local, std::string_view value) override {
        if (m_path.size() >= 2 && m_path.back() == El::kComp &&
            m_path[m_path.size() - 2] == El::kComponentSet && ns.empty() && local == "name") {
            m_propstat.components.push_back(UpperAscii(value));
        }
    }

    void Text(std::string_view utf8) override {
        if (m_overflow) {
            return;
        }
        if (m_text.size() + utf8.size() > kMaxDavText) {
            m_overflow = true;
            m_text.clear();
            return;
        }
        m_text.append(utf8);
    }

    void EndElement() override {
        if (m_path.empty()) {
            return;
        }
        const El el = m_path.back();
        m_path.pop_back();
        const El parent = m_path.empty() ? El::kOther : m_path.back();
        DavResponse* response =
            m_inResponse && !result.responses.empty() ? &result.responses.back() : nullptr;
        if (m_overflow && el != El::kCalendarData) {
            Fail("a value is too long");
        }
        switch (el) {
        case El::kHref:
            if (parent == El::kResponse && response && response->href.empty()) {
                response->href = Trim(m_text);
            } else if (parent == El::kPrincipal) {
                m_propstat.principalHref = Trim(m_text);
            } else if (parent == El::kHomeSet && m_propstat.homeSetHref.empty()) {
                m_propstat.homeSetHref = Trim(m_text);
            }
            break;
        case El::kStatus:
            if (parent == El::kResponse && response) {
                response->status = StatusOfLine(Trim(m_text));
            } else if (parent == El::kPropstat) {
                m_propstatStatus = StatusOfLine(Trim(m_text));
            }
            break;
        case El::kEtag:
            if (parent == El::kProp) {
                m_propstat.etag = Trim(m_text);
            }
            break;
        case El::kCalendarData:
            if (parent == El::kProp) {
                // Too long to take: kept as absent text, so the caller sees the entry it cannot read.
                if (m_overflow) {
                    m_propstat.calendarDataTooLong = true;
                } else {
                    m_propstat.calendarData = m_text;
                }
            }
            break;
        case El::kDisplayName:
            if (parent == El::kProp) {
                m_propstat.displayName = m_text;
            }
            break;
        case El::kSyncToken:
            if (parent == El::kMultistatus) {
                result.syncToken = Trim(m_text);
            }
            break;
        case El::kPropstat:
            if (response && m_propstatStatus >= 200 && m_propstatStatus < 300) {
                Merge(response->props, m_propstat);
            }
            break;
        case El::kResponse:
            if (parent == El::kMultistatus) {
                m_inResponse = false;
                if (m_each && response) {
                    m_each(*response);
                    result.responses.pop_back();
                }
            }
            break;
        default:
            break;
        }
        m_text.clear();
        m_overflow = false;
    }

    std::size_t Responses() const { return m_responses; }

    void Fail(std::string why) {
        if (result.error.empty()) {
            result.error = std::move(why);
        }
    }

  private:
    static void Merge(DavProps& into, DavProps& from) {
        if (from.etag)
            into.etag = std::move(from.etag);
        if (from.calendarData)
            into.calendarData = std::move(from.calendarData);
        if (from.displayName)
            into.displayName = std::move(from.displayName);
        into.calendarDataTooLong |= from.calendarDataTooLong;
        into.isCollection |= from.isCollection;
        into.isCalendar |= from.isCalendar;
        if (!from.principalHref.empty())
            into.principalHref = std::move(from.principalHref);
        if (!from.homeSetHref.empty())
            into.homeSetHref = std::move(from.homeSetHref);
        for (std::string& c : from.components)
            into.components.push_back(std::move(c));
    }

    const std::function<void(DavResponse&)>& m_each;
    std::size_t m_responses = 0; // read so far, handed on or kept
    std::vector<El> m_path;
    std::string m_text;
    bool m_overflow = false;
    bool m_inResponse = false;
    DavProps m_propstat;
    int m_propstatStatus = 0;
};

} // namespace

int StatusOfLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 4 > line.size()) {
        return 0;
    }
    int code = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

Multistatus ReadMultistatus(std::string_view xml) {
    return ReadMultistatus(xml, {});
}

Multistatus ReadMultistatus(std::string_view xml, const std::function<void(DavResponse&)>& each) {
    Reader reader(each);
    const std::string error = ParseXml(xml, reader);
    if (!error.empty()) {
        reader.Fail(error);
    }
    if (reader.result.error.empty() && reader.Responses() == 0 &&
        xml.find("multistatus") == std::string_view::npos) {
        reader.Fail("the reply is no multistatus");
    }
    if (!reader.result.error.empty()) {
        return Multistatus{{}, {}, reader.result.error};
    }
    return std::move(reader.result);
}
