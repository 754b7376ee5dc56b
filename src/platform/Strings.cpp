// TStringList.
#include "platform/Strings.h"

#include "platform/Exceptions.h"

namespace vantrel {

TStringList &TStringList::operator=(const TStringList &other) {
    if (this != &other) Assign(other);
    return *this;
}

const String &TStringList::operator[](int index) const {
    if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
    return FItems[static_cast<size_t>(index)];
}

void TStringList::Changing() {
    if (OnChanging) OnChanging();
}

void TStringList::Changed() {
    if (OnChange) OnChange();
}

void TStringList::Put(int index, String value) {
    if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
    Changing();
    // Swapped rather than move-assigned: an empty value would otherwise
    // keep the old line's buffer.
    FItems[static_cast<size_t>(index)].swap(value);
    Changed();
}

int TStringList::Add(String line) {
    Changing();
    FItems.push_back(std::move(line));
    Changed();
    return Count() - 1;
}

void TStringList::Insert(int index, String line) {
    if (index < 0 || index > Count()) throw EListError::IndexOutOfBounds(index);
    Changing();
    FItems.insert(FItems.begin() + index, std::move(line));
    Changed();
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
    Changing();
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (FItems.empty()) return;
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Assign(const TStringList &other) {
    Changing();
    FItems = other.FItems;
    Changed();
}

void TStringList::SetLines(std::vector<String> lines) {
    Changing();
    FItems = std::move(lines);
    Changed();
}

void TStringList::AddStrings(const TStringList &other) {
    Changing();
    FItems.insert(FItems.end(), other.FItems.begin(), other.FItems.end());
    Changed();
}

int TStringList::IndexOf(StringView line) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameTextAscii(FItems[i], line)) return static_cast<int>(i);
    return -1;
}

String TStringList::Text() const {
    size_t total = 0;
    for (const auto &s : FItems) total += s.size() + 2;
    String out;
    out.reserve(total);
    for (const auto &s : FItems) {
        out += s;
        out += u"\r\n";
    }
    return out;
}

bool TLineReader::Next(StringView &line) {
    if (FPos >= FText.size()) return false;
    const size_t start = FPos;
    while (FPos < FText.size() && FText[FPos] != u'\r' && FText[FPos] != u'\n') ++FPos;
    line = FText.substr(start, FPos - start);
    if (FPos < FText.size()) {
        if (FText[FPos] == u'\r' && FPos + 1 < FText.size() && FText[FPos + 1] == u'\n') ++FPos;
        ++FPos;
    }
    return true;
}

std::vector<String> TStringList::SplitLines(StringView text) {
    std::vector<String> lines;
    TLineReader reader(text);
    for (StringView line; reader.Next(line);) lines.emplace_back(line);
    return lines;
}

void TStringList::SetText(StringView text) {
    Changing();
    FItems = SplitLines(text);
    Changed();
}

String TStringList::Join(StringView separator) const {
    String out;
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (i) out += separator;
        out += FItems[i];
    }
    return out;
}

String TStringList::NamePart(StringView line) {
    auto p = line.find(u'=');
    return String(p == StringView::npos ? line : line.substr(0, p));
}

String TStringList::ValuePart(StringView line) {
    auto p = line.find(u'=');
    return p == StringView::npos ? String() : String(line.substr(p + 1));
}

int TStringList::IndexOfName(StringView name) const {
    for (size_t i = 0; i < FItems.size(); ++i) {
        auto p = FItems[i].find(u'=');
        if (p != String::npos && SameTextAscii(StringView(FItems[i]).substr(0, p), name)) return static_cast<int>(i);
    }
    return -1;
}

String TStringList::Values(StringView name) const {
    int i = IndexOfName(name);
    return i < 0 ? String() : ValuePart(FItems[static_cast<size_t>(i)]);
}

void TStringList::SetValue(StringView name, StringView value) {
    int i = IndexOfName(name);
    String line = String(name) + u"=" + String(value);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i >= 0) {
        Put(i, line);
    } else {
        Add(line);
    }
}

}  // namespace vantrel
