// A small writer of JSON text for the host's --json reports: objects and
// arrays written in order, strings escaped, no pretty printing beyond one
// report per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace vantrel {

class JsonWriter {
public:
    JsonWriter &BeginObject() { return Open('{'); }
    JsonWriter &EndObject() { return Close('}'); }
    JsonWriter &BeginArray() { return Open('['); }
    JsonWriter &EndArray() { return Close(']'); }
    // The name of the next member of an object.
    JsonWriter &Key(const std::string &name) {
        Separate();
        String(name);
        FText += ':';
        FAfterKey = true;
        return *this;
    }
    JsonWriter &Value(const std::string &text) {
        Separate();
        String(text);
        return *this;
    }
    JsonWriter &Value(const char *text) { return Value(std::string(text)); }
    JsonWriter &Value(int64_t number) {
        Separate();
        FText += std::to_string(number);
        return *this;
    }
    JsonWriter &Value(int32_t number) { return Value(int64_t{number}); }
    JsonWriter &Value(bool flag) {
        Separate();
        FText += flag ? "true" : "false";
        return *this;
    }
    JsonWriter &Null() {
        Separate();
        FText += "null";
        return *this;
    }
    template <typename T> JsonWriter &Value(const std::optional<T> &value) { return value ? Value(*value) : Null(); }
    template <typename T> JsonWriter &Member(const std::string &name, const T &value) { return Key(name).Value(value); }

    const std::string &Text() const { return FText; }
    void Print() const {
        std::fputs(FText.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    JsonWriter &Open(char bracket) {
        Separate();
        FText += bracket;
        FFirst = true;
        return *this;
    }
    JsonWriter &Close(char bracket) {
        FText += bracket;
        FFirst = false;
        return *this;
    }
    // The comma between members or elements.
    void Separate() {
        if (FAfterKey) {
            FAfterKey = false;
            return;
        }
        if (!FFirst && !FText.empty()) FText += ',';
        FFirst = false;
    }
    void String(const std::string &text) {
        FText += '"';
        for (unsigned char c : text) {
            switch (c) {
            case '"': FText += "\\\""; break;
            case '\\': FText += "\\\\"; break;
            case '\n': FText += "\\n"; break;
            case '\r': FText += "\\r"; break;
            case '\t': FText += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    FText += escape;
                } else {
                    FText += static_cast<char>(c);
                }
            }
        }
        FText += '"';
    }

    std::string FText;
    bool FFirst = true;
    bool FAfterKey = false;
};

}  // namespace vantrel
