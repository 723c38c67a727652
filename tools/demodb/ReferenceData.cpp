#include "tools/demodb/ReferenceData.h"

#include "data/QuorvaneError.h"

#include <QFile>

#include <algorithm>
#include <unordered_map>

namespace {

using Record = std::vector<std::string>;

std::string readResource(const char *name)
{
    QFile file(QStringLiteral(":/demodb/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        throw QuorvaneError(QStringLiteral("embedded file %1 is missing").arg(file.fileName()));
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// RFC 4180: fields may be quoted, a doubled quote stands for one inside them.
std::vector<Record> parseCsv(const std::string &text)
{
    std::vector<Record> records;
    Record record;
    std::string field;
    bool quoted = false;
    bool any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (any || !field.empty()) {
                record.push_back(std::move(field));
                records.push_back(std::move(record));
            }
            field.clear();
            record.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

// The rows of a CSV file as maps from header name to value.
std::vector<std::unordered_map<std::string, std::string>> readTable(const char *name,
                                                                    const Record &required)
{
    const std::vector<Record> records = parseCsv(readResource(name));
    if (records.empty())
        throw QuorvaneError(QStringLiteral("embedded file %1 is empty").arg(QLatin1String(name)));
    const Record &header = records.front();
    for (const std::string &column : required) {
        if (std::find(header.begin(), header.end(), column) == header.end())
            throw QuorvaneError(QStringLiteral("embedded file %1 has no column %2")
                                    .arg(QLatin1String(name), QString::fromStdString(column)));
    }
    std::vector<std::unordered_map<std::string, std::string>> rows;
    for (size_t r = 1; r < records.size(); ++r) {
        std::unordered_map<std::string, std::string> row;
        for (size_t c = 0; c < header.size(); ++c)
            row[header[c]] = c < records[r].size() ? records[r][c] : std::string();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string trimmed(const std::string &s)
{
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

TextSections readSections(const char *name)
{
    TextSections sections;
    std::vector<TextItem> *current = nullptr;
    std::string comment;
    const std::string text = readResource(name);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line.front() == '#') {
            comment = trimmed(line.substr(1));
        } else if (line.front() == '[' && line.back() == ']') {
            current = &sections[line.substr(1, line.size() - 2)];
            comment.clear();
        } else if (current) {
            current->push_back({line, comment});
        }
    }
    return sections;
}

} // namespace

std::vector<std::string> sectionTexts(const TextSections &sections, const std::string &name)
{
    const auto it = sections.find(name);
    if (it == sections.end() || it->second.empty())
        throw QuorvaneError(QStringLiteral("embedded reference data has no section [%1]")
                                .arg(QString::fromStdString(name)));
    std::vector<std::string> texts;
    texts.reserve(it->second.size());
    for (const TextItem &item : it->second)
        texts.push_back(item.text);
    return texts;
}

ReferenceData ReferenceData::loadEmbedded()
{
    ReferenceData data;

    std::unordered_map<std::string, size_t> provinceIndex;
    for (auto &row : readTable("provinces.csv",
                               {"name", "short_name", "kind", "admin_code", "mainland_postal"})) {
        // Hong Kong, Macau and Taiwan have no mainland postcodes to give.
        if (row["mainland_postal"] != "yes")
            continue;
        provinceIndex[row["name"]] = data.provinces.size();
        data.provinces.push_back(
            {row["name"], row["short_name"], row["admin_code"], row["kind"] == "直辖市", {}});
    }
    for (auto &row :
         readTable("cities.csv", {"province", "city", "short_name", "area_code", "postcode"})) {
        const auto it = provinceIndex.find(row["province"]);
        if (it == provinceIndex.end() || row["area_code"].empty() || row["postcode"].empty())
            continue;
        data.provinces[it->second].cities.push_back(
            {row["city"], row["short_name"], row["area_code"], row["postcode"]});
    }
    std::erase_if(data.provinces, [](const Province &p) { return p.cities.empty(); });
    if (data.provinces.empty())
        throw QuorvaneError(QStringLiteral("embedded reference data holds no cities"));

    std::unordered_map<std::string, std::string> names;
    const auto industries = readTable("industries.csv", {"code", "name", "level", "parent"});
    for (const auto &row : industries)
        names[row.at("code")] = row.at("name");
    for (const auto &row : industries) {
        if (row.at("level") != "class")
            continue;
        const std::string &code = row.at("code");
        data.industries.push_back(
            {code, row.at("name"), names[code.substr(0, 4)], names[code.substr(0, 3)]});
    }
    if (data.industries.empty())
        throw QuorvaneError(QStringLiteral("embedded reference data holds no industry classes"));

    data.nameParts = readSections("name_parts.txt");
    data.streets = readSections("streets.txt");
    data.scope = readSections("scope_phrases.txt");
    return data;
}
