// XMP edits over the packet's own text: an editor that knows namespace scopes and copies every
// byte it does not change.
#include "XmpEdit.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "XmlTags.h"

namespace korvale {
namespace {

constexpr std::string_view kTiff = "http://ns.adobe.com/tiff/1.0/";
constexpr std::string_view kExif = "http://ns.adobe.com/exif/1.0/";
constexpr std::string_view kXmp = "http://ns.adobe.com/xap/1.0/";
constexpr std::string_view kXmpNote = "http://ns.adobe.com/xmp/note/";
constexpr std::string_view kPhotoshop = "http://ns.adobe.com/photoshop/1.0/";
constexpr std::string_view kIptcCore = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";
constexpr std::string_view kIptcExt = "http://iptc.org/std/Iptc4xmpExt/2008-02-29/";
constexpr std::string_view kDynamicMedia = "http://ns.adobe.com/xmp/1.0/DynamicMedia/";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
// Deeper nesting than any XMP writer makes: a packet built to exhaust the stack is refused.
constexpr size_t kMaxDepth = 256;

bool OneOf(std::string_view local, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), local) != names.end();
}

// Properties of a picture already made: the thumbnails are not carried, nor is extended XMP.
bool IsStaleProperty(std::string_view uri, std::string_view local) {
    return (uri == kXmp && local == "Thumbnails") || (uri == kXmpNote && local == "HasExtendedXMP");
}

class Editor {
public:
    Editor(bool keepPlace, uint32_t width, uint32_t height, uint32_t dpi)
        : keepPlace_(keepPlace),
          width_(std::to_string(width)),
          height_(std::to_string(height)),
          resolution_(std::to_string(dpi) + "/1") {}

    std::optional<ByteBuffer> Run(std::string_view text);

private:
    struct Element {
        std::string_view name;
        size_t bindings = 0;                 // namespace bindings it added
        const std::string* value = nullptr;  // its text is replaced by this
        bool replaced = false;
    };

    // The URI bound to a name's prefix; nullopt when the prefix is not bound.
    std::optional<std::string_view> UriOf(std::string_view prefix, bool element) const;
    // The value a property takes in the output, or nullptr when it keeps its own.
    const std::string* NewValue(std::string_view uri, std::string_view local) const;
    bool Removed(std::string_view uri, std::string_view local) const {
        return IsStaleProperty(uri, local) || (!keepPlace_ && IsPlaceProperty(uri, local));
    }
    bool StartElement(std::string_view text, size_t& at);
    bool EndElement(std::string_view text, size_t& at);
    void Text(std::string_view text);
    bool Emitting() const { return droppedAt_ == kNone; }

    static constexpr size_t kNone = static_cast<size_t>(-1);
    bool keepPlace_;
    std::string width_, height_, resolution_;
    const std::string inches_ = "2";
    const std::string upright_ = "1";
    std::vector<std::pair<std::string_view, std::string_view>> bindings_;
    std::vector<Element> open_;
    size_t droppedAt_ = kNone;  // the depth of the element being left out
    std::string out_;
};

std::optional<std::string_view> Editor::UriOf(std::string_view prefix, bool element) const {
    if (prefix == "xml") {
        return kXmlNamespace;
    }
    if (prefix.empty() && !element) {
        return std::string_view{};  // unprefixed attributes are in no namespace
    }
    for (auto b = bindings_.rbegin(); b != bindings_.rend(); ++b) {
        if (b->first == prefix) {
            return b->second;
        }
    }
    if (prefix.empty()) {
        return std::string_view{};
    }
    return std::nullopt;
}

const std::string* Editor::NewValue(std::string_view uri, std::string_view local) const {
    if (uri == kTiff) {
        if (local == "ImageWidth") {
            return &width_;
        }
        if (local == "ImageLength") {
            return &height_;
        }
        if (local == "XResolution" || local == "YResolution") {
            return &resolution_;
        }
        if (local == "ResolutionUnit") {
            return &inches_;
        }
        if (local == "Orientation") {
            return &upright_;
        }
    }
    if (uri == kExif) {
        if (local == "PixelXDimension") {
            return &width_;
        }
        if (local == "PixelYDimension") {
            return &height_;
        }
    }
    return nullptr;
}

bool Editor::StartElement(std::string_view text, size_t& at) {
    const std::optional<StartTag> tag = ParseStartTag(text, at);
    if (!tag || open_.size() >= kMaxDepth) {
        return false;
    }
    if (!open_.empty() && open_.back().value != nullptr) {
        return false;  // a value replaced here would lose the structure inside
    }
    Element element{tag->name};
    for (const Attribute& a : tag->attributes) {
        if (a.name == "xmlns" || a.name.substr(0, 6) == "xmlns:") {
            const std::string_view prefix = a.name.size() > 6 ? a.name.substr(6) : "";
            bindings_.emplace_back(prefix, a.value);
            ++element.bindings;
        }
    }
    const auto [prefix, local] = SplitName(tag->name);
    const std::optional<std::string_view> uri = UriOf(prefix, true);
    if (!uri) {
        return false;
    }
    bool dropped = false;
    bool changed = false;
    std::vector<Attribute> kept;
    if (Emitting()) {
        dropped = Removed(*uri, local);
        if (!tag->selfClosing) {
            element.value = NewValue(*uri, local);
        }
    }
    for (const Attribute& a : tag->attributes) {
        if (a.name == "xmlns" || a.name.substr(0, 6) == "xmlns:") {
            kept.push_back(a);
            continue;
        }
        const auto [attributePrefix, attributeLocal] = SplitName(a.name);
        const std::optional<std::string_view> attributeUri = UriOf(attributePrefix, false);
        if (!attributeUri) {
            return false;
        }
        if (Removed(*attributeUri, attributeLocal)) {
            changed = true;
            continue;
        }
        Attribute copy = a;
        if (const std::string* value = NewValue(*attributeUri, attributeLocal);
            value && *value != a.value) {
            copy.value = *value;
            changed = true;
        }
        kept.push_back(copy);
    }
    if (Emitting() && !dropped) {
        if (!changed) {
            out_.append(text.substr(at, tag->end - at));
        } else {
            out_ += '<';
            out_.append(tag->name);
            for (const Attribute& a : kept) {
                out_ += ' ';
                out_.append(a.name);
                out_ += '=';
                out_ += a.quote;
                out_.append(a.value);
                out_ += a.quote;
            }
            out_.append(tag->selfClosing ? "/>" : ">");
        }
    }
    at = tag->end;
    if (tag->selfClosing) {
        bindings_.resize(bindings_.size() - element.bindings);
        return true;
    }
    if (dropped) {
        droppedAt_ = open_.size();
    }
    open_.push_back(element);
    return true;
}

bool Editor::EndElement(std::string_view text, size_t& at) {
    const size_t close = text.find('>', at);
    if (close == std::string_view::npos || open_.empty()) {
        return false;
    }
    std::string_view name = text.substr(at + 2, close - at - 2);
    while (!name.empty() && IsXmlSpace(name.back())) {
        name.remove_suffix(1);
    }
    Element& element = open_.back();
    if (name != element.name) {
        return false;
    }
    if (Emitting()) {
        if (element.value != nullptr && !element.replaced) {
            out_.append(*element.value);
        }
        out_.append(text.substr(at, close + 1 - at));
    }
    bindings_.resize(bindings_.size() - element.bindings);
    open_.pop_back();
    if (droppedAt_ == open_.size()) {
        droppedAt_ = kNone;
    }
    at = close + 1;
    return true;
}

void Editor::Text(std::string_view text) {
    if (!Emitting()) {
        return;
    }
    if (!open_.empty() && open_.back().value != nullptr) {
        Element& element = open_.back();
        if (!element.replaced) {
            out_.append(*element.value);
            element.replaced = true;
        }
        return;
    }
    out_.append(text);
}

std::optional<ByteBuffer> Editor::Run(std::string_view text) {
    out_.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '<') {
            const size_t next = std::min(text.find('<', at), text.size());
            Text(text.substr(at, next - at));
            at = next;
            continue;
        }
        const std::string_view rest = text.substr(at);
        const auto copyThrough = [&](std::string_view end, bool isText) {
            const size_t found = text.find(end, at + 2);
            if (found == std::string_view::npos) {
                return false;
            }
            const std::string_view piece = text.substr(at, found + end.size() - at);
            if (isText) {
                Text(piece);
            } else if (Emitting()) {
                out_.append(piece);
            }
            at = found + end.size();
            return true;
        };
        bool ok = false;
        if (rest.substr(0, 2) == "<?") {
            ok = copyThrough("?>", false);
        } else if (rest.substr(0, 4) == "<!--") {
            ok = copyThrough("-->", false);
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            ok = copyThrough("]]>", true);
        } else if (rest.substr(0, 2) == "<!") {
            ok = false;  // a DOCTYPE has no place in XMP
        } else if (rest.substr(0, 2) == "</") {
            ok = EndElement(text, at);
        } else {
            ok = StartElement(text, at);
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (!open_.empty()) {
        return std::nullopt;
    }
    return ByteBuffer(out_.begin(), out_.end());
}

}  // namespace

bool IsPlaceProperty(std::string_view uri, std::string_view local) {
    // GPS coordinates under any namespace: exif:GPS*, the CIPA extension's, drones' GpsLatitude.
    if (local.size() >= 3 && std::tolower(static_cast<unsigned char>(local[0])) == 'g' &&
        std::tolower(static_cast<unsigned char>(local[1])) == 'p' &&
        std::tolower(static_cast<unsigned char>(local[2])) == 's') {
        return true;
    }
    if (uri == kPhotoshop) {
        return OneOf(local, {"City", "State", "Country"});
    }
    if (uri == kIptcCore) {
        return OneOf(local, {"Location", "CountryCode"});
    }
    if (uri == kIptcExt) {
        return OneOf(local,
                     {"LocationCreated", "LocationShown", "City", "CountryCode", "CountryName",
                      "ProvinceState", "Sublocation", "WorldRegion", "LocationId", "LocationName"});
    }
    if (uri == kDynamicMedia) {
        return local == "shotLocation";
    }
    return false;
}

std::optional<ByteBuffer> XmpForOutput(const ByteBuffer& packet, bool keepPlace, uint32_t width,
                                       uint32_t height, uint32_t dpi) {
    const std::string_view text(reinterpret_cast<const char*>(packet.data()), packet.size());
    if (text.find('\0') != std::string_view::npos) {
        return std::nullopt;  // UTF-16 and UTF-32 packets are not edited
    }
    return Editor(keepPlace, width, height, dpi).Run(text);
}

}  // namespace korvale
