#pragma once

#include "platform/DateTime.h"
#include "storage/StringList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A growable byte stream with a read/write position, for GetBinary and PutBinary.
struct TByteStream {
    std::vector<unsigned char> Bytes;
    std::size_t Position = 0;
};

// The common base of the INI documents. It keeps the file path exactly as given (a relative path
// is resolved against the current directory at each file access) and builds every typed getter
// and setter on GetStr and PutStr. Section and key names, values and lines are GBK bytes.
class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string filePath) : filePath_(std::move(filePath)) {}
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;
    virtual ~TCustomIniFile() = default;

    const std::string& FilePath() const { return filePath_; }

    // The value of `key` in `section`, or `fallback` when either is missing. A key whose value is
    // empty gives the empty string, not the fallback.
    virtual std::string GetStr(const std::string& section, const std::string& key,
                               const std::string& fallback) const = 0;
    // Sets the key's value, creating the section and the key as needed.
    virtual void PutStr(const std::string& section, const std::string& key,
                        const std::string& value) = 0;

    // The value read as integer text (storage/IntegerText.h, with a "0x"/"0X" prefix taken as
    // "$"), or `fallback` when it is missing or not such a text.
    virtual std::int32_t GetInt(const std::string& section, const std::string& key,
                                std::int32_t fallback) const;
    // Writes the decimal form: "-" for negatives, no "+", no leading zeros.
    virtual void PutInt(const std::string& section, const std::string& key, std::int32_t value);
    // GetInt with 1 or 0 as its fallback; true when the integer is not 0. "true"/"yes" are not
    // numbers and give the fallback.
    virtual bool GetBool(const std::string& section, const std::string& key, bool fallback) const;
    // Writes "1" or "0".
    virtual void PutBool(const std::string& section, const std::string& key, bool value);

    // Decodes the value's pairs of hexadecimal digits (either case) into `target` at its position,
    // overwriting and extending it; decoding stops at the first pair that is not two hexadecimal
    // digits (an odd last digit is ignored). The stream's position is left where the decoded bytes
    // start. Returns the count of bytes from that position to the end of the stream, or 0 (and
    // touches nothing) when the value is empty or missing.
    virtual std::size_t GetBinary(const std::string& section, const std::string& key,
                                  TByteStream& target) const;
    // Writes the stream's bytes from its position to its end as upper-case hexadecimal pairs and
    // moves the position to the end; an empty remainder writes an empty value.
    virtual void PutBinary(const std::string& section, const std::string& key, TByteStream& source);

    // The value converted with the user's regional formats (platform/DateTime.h); an empty,
    // missing or unconvertible value gives the fallback.
    virtual TDateTime GetDateVal(const std::string& section, const std::string& key,
                                 TDateTime fallback) const;
    virtual TDateTime GetDateTimeVal(const std::string& section, const std::string& key,
                                     TDateTime fallback) const;
    virtual double GetFloat(const std::string& section, const std::string& key,
                            double fallback) const;
    virtual TDateTime GetTimeVal(const std::string& section, const std::string& key,
                                 TDateTime fallback) const;
    virtual void PutDateVal(const std::string& section, const std::string& key, TDateTime value);
    virtual void PutDateTimeVal(const std::string& section, const std::string& key,
                                TDateTime value);
    virtual void PutFloat(const std::string& section, const std::string& key, double value);
    virtual void PutTimeVal(const std::string& section, const std::string& key, TDateTime value);

    // Clears `target`, then adds the name part of every line of the section, in order (an empty
    // string for a line without "="). A missing section leaves `target` empty.
    virtual void GetKeyNames(const std::string& section, TStringList& target) const = 0;
    // Replaces `target`'s content with every section name in document order, duplicates included.
    virtual void GetSectionNames(TStringList& target) const = 0;
    // Clears `target`, then adds every line of the section as stored.
    virtual void GetSectionLines(const std::string& section, TStringList& target) const = 0;
    // Removes the section (the last of that name) with its lines; nothing when it is missing.
    virtual void RemoveSection(const std::string& section) = 0;
    // Removes the key's line (the last of that name); nothing when section or key is missing.
    virtual void RemoveKey(const std::string& section, const std::string& key) = 0;
    // Writes the document to the file (see the implementations for the errors).
    virtual void Save() = 0;

private:
    std::string filePath_;
};
