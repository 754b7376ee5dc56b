// TStringList: an ordered list of text lines with change notification and
// name=value access, as the component classes use for SQL text and
// parameter lines.
#pragma once

#include <functional>
#include <vector>

#include "platform/Text.h"

namespace vantrel {

// Reads a text line by line, cut as TStringList::SetText cuts it, each
// line a view into the text.
class TLineReader {
public:
    explicit TLineReader(StringView text) : FText(text) {}
    // The next line; false after the last one.
    bool Next(StringView &line);

private:
    StringView FText;
    size_t FPos = 0;
};

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<String> lines) : FItems(lines) {}
    TStringList(const TStringList &other) : FItems(other.FItems) {}
    TStringList &operator=(const TStringList &other);

    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    // Raises EListError "List index out of bounds (%d)" outside 0..Count-1.
    const String &operator[](int index) const;
    const String &Strings(int index) const { return (*this)[index]; }
    void Put(int index, String value);
    const std::vector<String> &Items() const { return FItems; }

    int Add(String line);
    void Insert(int index, String line);
    void Delete(int index);
    void Clear();
    void Assign(const TStringList &other);
    // Replaces the lines by the given ones, taken over without copying.
    void SetLines(std::vector<String> lines);
    void AddStrings(const TStringList &other);
    int IndexOf(StringView line) const;  // case-insensitive (ASCII)

    // All lines, each followed by CR LF.
    String Text() const;
    // Replaces the lines by the text cut at CR LF, lone CR and lone LF; a
    // final line break does not add an empty line.
    void SetText(StringView text);
    // Lines joined with the given separator (no trailing one).
    String Join(StringView separator) const;

    // name=value access; names compare case-insensitively (ASCII).
    int IndexOfName(StringView name) const;
    String Values(StringView name) const;
    void SetValue(StringView name, StringView value);
    static String NamePart(StringView line);
    static String ValuePart(StringView line);

    // Called before and after every change of the lines.
    std::function<void()> OnChanging;
    std::function<void()> OnChange;

    // Splits text into lines by the rules of SetText.
    static std::vector<String> SplitLines(StringView text);

private:
    void Changing();
    void Changed();
    std::vector<String> FItems;
    int FUpdating = 0;
};

}  // namespace vantrel
