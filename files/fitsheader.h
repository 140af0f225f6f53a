// The keywords of a FITS header: an ordered set of keyword, value and comment.
// Uses only the standard library so that it can travel with image data into
// code that knows nothing of the toolkit.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// One header entry. `type` says which value field holds the value.
struct FitsHeaderStruct {
    std::string comment;
    int type = 0;               // 0 integer, 1 text, 2 floating point
    int32_t intValue = 0;
    float floatValue = 0.0f;
    std::string stringValue;
};

// Keywords are kept once each and in byte-wise order, which is also the order
// in which FitsImage writes them: the order of insertion is not kept.
class FitsHeader
{
public:
    using Entries = std::map<std::string, FitsHeaderStruct>;
    using iterator = Entries::iterator;
    using const_iterator = Entries::const_iterator;

    enum EntryType { IntEntry = 0, StringEntry = 1, FloatEntry = 2 };

    FitsHeader();

    // Adding a keyword that is already present leaves the first entry as it was.
    bool AddInt(const std::string &keyword, int value, const std::string &comment);
    bool AddFloat(const std::string &keyword, float value, const std::string &comment);
    bool AddString(const std::string &keyword, const std::string &value, const std::string &comment);
    // True also when the keyword exists already (the entry stays unchanged);
    // false only when the entry cannot be allocated.
    bool InsertStruct(const std::string &keyword, const FitsHeaderStruct &entry);

    // The value of an entry of the asked kind; an absent keyword, or one that
    // holds another kind of value, gives 0 or "" with found = false.
    int GetInt(const std::string &keyword, bool &found) const;
    std::string GetString(const std::string &keyword, bool &found) const;

    bool IsEmpty() const;
    iterator Begin();
    iterator End();
    const_iterator Begin() const;
    const_iterator End() const;
    void ClearHeader();

private:
    Entries entries;
};
