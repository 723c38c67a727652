#pragma once

#include <map>
#include <string>
#include <vector>

// The reference data compiled into the tool (data/, see its README.md),
// parsed into plain UTF-8 strings: the generator runs a million rows
// through it, and std::string keeps that free of conversions.

struct City
{
    std::string name;      // 苏州市
    std::string shortName; // 苏州
    std::string areaCode;  // 0512
    std::string postcode;  // 215000
};

struct Province
{
    std::string name;      // 江苏省
    std::string shortName; // 江苏
    std::string adminCode; // 32
    bool municipality = false;
    std::vector<City> cities;
};

// A 4-digit class of GB/T 4754-2017 with the names of the levels above it,
// which tell what kind of business it is.
struct IndustryClass
{
    std::string code; // C3911
    std::string name;
    std::string groupName;
    std::string divisionName;
};

// One line of a sectioned text file, with the comment it stands under
// (the phrase lists are grouped by trade that way).
struct TextItem
{
    std::string text;
    std::string comment;
};

using TextSections = std::map<std::string, std::vector<TextItem>>;

struct ReferenceData
{
    // Only provinces in the mainland postcode system, with their cities.
    std::vector<Province> provinces;
    std::vector<IndustryClass> industries;
    TextSections nameParts;
    TextSections streets;
    TextSections scope;

    // Reads the embedded files. Throws QuorvaneError when one is missing or
    // malformed, which only a broken build can cause.
    static ReferenceData loadEmbedded();
};

// The items of a section as plain texts; throws when the section is missing or empty.
std::vector<std::string> sectionTexts(const TextSections &sections, const std::string &name);
