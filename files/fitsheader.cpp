#include "fitsheader.h"

#include <new>

FitsHeader::FitsHeader() = default;

bool FitsHeader::AddInt(const std::string &keyword, int value, const std::string &comment)
{
    FitsHeaderStruct entry;
    entry.comment = comment;
    entry.type = IntEntry;
    entry.intValue = value;
    return InsertStruct(keyword, entry);
}

bool FitsHeader::AddFloat(const std::string &keyword, float value, const std::string &comment)
{
    FitsHeaderStruct entry;
    entry.comment = comment;
    entry.type = FloatEntry;
    entry.floatValue = value;
    return InsertStruct(keyword, entry);
}

bool FitsHeader::AddString(const std::string &keyword, const std::string &value,
                           const std::string &comment)
{
    FitsHeaderStruct entry;
    entry.comment = comment;
    entry.type = StringEntry;
    entry.stringValue = value;
    return InsertStruct(keyword, entry);
}

bool FitsHeader::InsertStruct(const std::string &keyword, const FitsHeaderStruct &entry)
{
    try {
        entries.emplace(keyword, entry);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

int FitsHeader::GetInt(const std::string &keyword, bool &found) const
{
    const auto it = entries.find(keyword);
    found = it != entries.end() && it->second.type == IntEntry;
    return found ? it->second.intValue : 0;
}

std::string FitsHeader::GetString(const std::string &keyword, bool &found) const
{
    const auto it = entries.find(keyword);
    found = it != entries.end() && it->second.type == StringEntry;
    return found ? it->second.stringValue : std::string();
}

bool FitsHeader::IsEmpty() const
{
    return entries.empty();
}

FitsHeader::iterator FitsHeader::Begin()
{
    return entries.begin();
}

FitsHeader::iterator FitsHeader::End()
{
    return entries.end();
}

FitsHeader::const_iterator FitsHeader::Begin() const
{
    return entries.begin();
}

FitsHeader::const_iterator FitsHeader::End() const
{
    return entries.end();
}

void FitsHeader::ClearHeader()
{
    entries.clear();
}
