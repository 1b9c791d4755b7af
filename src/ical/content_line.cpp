// iCalendar content lines: folding, TEXT escapes, unfolding and parameters.
#include "ical/content_line.h"

#include <cstdint>

namespace ical {

namespace {
constexpr char kEol[] = "\r\n";
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string FoldLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / 37 + 2);
    std::size_t room = 75;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        if (cut == 0) {
            cut = room; // no UTF-8 at all here: cut anywhere rather than loop for ever
        }
        out.append(line.substr(0, cut));
        out += kEol;
        out += ' ';
        line.remove_prefix(cut);
        room = 74;
    }
    out.append(line);
    out += kEol;
    return out;
}

std::string EscapeText(std::string_view utf8, bool* exact) {
    std::string out;
    out.reserve(utf8.size() + 8);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            *exact = false;
        } else if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if ((b < 0x20 && c != '\t') || b == 0x7F) {
            out += "\xEF\xBF\xBD";
            *exact = false;
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char c = value[++i];
            if (c == 'n' || c == 'N') {
                out += "\r\n";
            } else {
                out += c;
            }
        } else {
            out += value[i];
        }
    }
    return out;
}

namespace {

// One logical line split into its name, parameters and value.
Property PropertyOfLine(std::string_view logical, std::size_t number) {
    Property p;
    p.line = number;
    std::size_t i = 0;
    while (i < logical.size() && logical[i] != ';' && logical[i] != ':') {
        ++i;
    }
    p.name = UpperAscii(logical.substr(0, i));
    while (i < logical.size() && logical[i] == ';') {
        const std::size_t nameStart = ++i;
        while (i < logical.size() && logical[i] != '=' && logical[i] != ';' && logical[i] != ':') {
            ++i;
        }
        const std::string param = UpperAscii(logical.substr(nameStart, i - nameStart));
        std::string value;
        if (i < logical.size() && logical[i] == '=') {
            ++i;
            bool quoted = false;
            while (i < logical.size() && (quoted || (logical[i] != ';' && logical[i] != ':'))) {
                if (logical[i] == '"') {
                    quoted = !quoted;
                } else {
                    value += logical[i];
                }
                ++i;
            }
        }
        p.params[param] = value;
    }
    if (i < logical.size() && logical[i] == ':') {
        p.value = std::string(logical.substr(i + 1));
    }
    return p;
}

} // namespace

std::vector<Property> ReadProperties(std::string_view text, std::size_t maxLines, std::size_t maxLineBytes,
                                     bool* truncated) {
    std::vector<Property> lines;
    std::string logical;
    std::size_t start = 0, number = 0, logicalLine = 0;
    bool stop = false;
    auto finish = [&] {
        if (logical.empty()) {
            return;
        }
        if (lines.size() >= maxLines) {
            stop = true;
            return;
        }
        lines.push_back(PropertyOfLine(logical, logicalLine));
        logical.clear();
    };
    while (start < text.size() && !stop) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ++number;
        const bool continues = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (!continues) {
            finish();
            logicalLine = number;
        } else {
            line.remove_prefix(1);
        }
        if (logical.size() + line.size() > maxLineBytes) {
            stop = true;
            break;
        }
        logical.append(line);
        start = end + 1;
    }
    if (!stop) {
        finish();
    }
    if (truncated) {
        *truncated = stop;
    }
    return lines;
}

} // namespace ical
