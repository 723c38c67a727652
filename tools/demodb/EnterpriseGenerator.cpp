#include "tools/demodb/EnterpriseGenerator.h"

#include "data/QuorvaneError.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <string_view>

namespace {

// splitmix64: small, fast and the same everywhere, unlike the standard
// library's distributions, whose results differ between implementations.
class Random final
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 <= result < n.
    std::uint32_t below(std::uint32_t n) { return std::uint32_t(((next() >> 32) * n) >> 32); }
    bool chance(std::uint32_t perThousand) { return below(1000) < perThousand; }
    int between(int low, int high) { return low + int(below(std::uint32_t(high - low + 1))); }

    template<typename T> const T &pick(const std::vector<T> &items)
    {
        return items[below(std::uint32_t(items.size()))];
    }

private:
    std::uint64_t m_state;
};

// Picks an index with the given integer weights; an entry of weight 0 is never picked.
class Weighted final
{
public:
    void add(std::uint32_t weight)
    {
        m_total += weight;
        m_cumulative.push_back(m_total);
    }
    size_t pick(Random &random) const
    {
        const std::uint32_t r = random.below(m_total);
        return size_t(std::upper_bound(m_cumulative.begin(), m_cumulative.end(), r) -
                      m_cumulative.begin());
    }
    bool isEmpty() const { return m_total == 0; }

private:
    std::vector<std::uint32_t> m_cumulative;
    std::uint32_t m_total = 0;
};

// Shares of foreign-invested enterprises by province, in 1/10000, after the
// rough picture of the official statistics: the coast holds most of them.
// A province not listed gets 30.
constexpr std::pair<std::string_view, std::uint32_t> provinceShares[] = {
    {"广东省", 2000}, {"江苏省", 1400},        {"上海市", 1100},         {"浙江省", 800},
    {"山东省", 600},  {"北京市", 500},         {"福建省", 500},          {"天津市", 300},
    {"辽宁省", 300},  {"四川省", 200},         {"湖北省", 200},          {"重庆市", 150},
    {"河南省", 150},  {"安徽省", 150},         {"湖南省", 150},          {"河北省", 120},
    {"江西省", 120},  {"广西壮族自治区", 100}, {"陕西省", 100},          {"海南省", 100},
    {"吉林省", 80},   {"云南省", 80},          {"黑龙江省", 60},         {"山西省", 50},
    {"贵州省", 40},   {"内蒙古自治区", 40},    {"甘肃省", 20},           {"宁夏回族自治区", 15},
    {"青海省", 10},   {"西藏自治区", 5},       {"新疆维吾尔自治区", 30},
};

// Shares of the sections of GB/T 4754 among foreign-invested enterprises, in
// 1/10000: mostly manufacturing, then trade, business services and IT.
// Public administration (S) and international organisations (T) take none.
constexpr std::pair<char, std::uint32_t> sectionShares[] = {
    {'A', 60},  {'B', 30},  {'C', 5500}, {'D', 150}, {'E', 150}, {'F', 1500}, {'G', 300},
    {'H', 100}, {'I', 600}, {'J', 50},   {'K', 200}, {'L', 600}, {'M', 500},  {'N', 100},
    {'O', 50},  {'P', 30},  {'Q', 30},   {'R', 50},  {'S', 0},   {'T', 0},
};

// Which group of scope phrases (by the comment above it in
// scope_phrases.txt) suits an industry; the longest matching code prefix wins.
constexpr std::pair<std::string_view, std::string_view> scopeGroups[] = {
    {"A", "食品、农业"},
    {"B", "技术服务、工程、能源"},
    {"C", "机械、设备"},
    {"C13", "食品、农业"},
    {"C14", "食品、农业"},
    {"C15", "食品、农业"},
    {"C16", "食品、农业"},
    {"C17", "纺织、服装、轻工"},
    {"C18", "纺织、服装、轻工"},
    {"C19", "纺织、服装、轻工"},
    {"C20", "纺织、服装、轻工"},
    {"C21", "纺织、服装、轻工"},
    {"C22", "纺织、服装、轻工"},
    {"C23", "纺织、服装、轻工"},
    {"C24", "纺织、服装、轻工"},
    {"C25", "化工、材料"},
    {"C26", "化工、材料"},
    {"C27", "医药、医疗"},
    {"C28", "化工、材料"},
    {"C29", "化工、材料"},
    {"C30", "化工、材料"},
    {"C31", "化工、材料"},
    {"C32", "化工、材料"},
    {"C358", "医药、医疗"},
    {"C36", "汽车"},
    {"C37", "汽车"},
    {"C38", "电子、电气、通信"},
    {"C39", "电子、电气、通信"},
    {"C40", "电子、电气、通信"},
    {"C41", "纺织、服装、轻工"},
    {"D", "技术服务、工程、能源"},
    {"E", "技术服务、工程、能源"},
    {"F", "贸易"},
    {"G", "物流"},
    {"H", "商务、投资、房地产"},
    {"I", "软件、信息服务"},
    {"J", "商务、投资、房地产"},
    {"K", "商务、投资、房地产"},
    {"L", "商务、投资、房地产"},
    {"M", "技术服务、工程、能源"},
    {"N", "技术服务、工程、能源"},
    {"O", "商务、投资、房地产"},
    {"P", "商务、投资、房地产"},
    {"Q", "医药、医疗"},
    {"R", "商务、投资、房地产"},
};

// Road suffixes by how common they are; 路 dominates in Chinese addresses.
constexpr std::pair<std::string_view, std::uint32_t> suffixShares[] = {
    {"路", 600},  {"大道", 100}, {"街", 60}, {"大街", 40}, {"道", 40},    {"公路", 50},
    {"环路", 20}, {"巷", 20},    {"弄", 10}, {"胡同", 5},  {"大马路", 5}, {"街道", 10},
};

constexpr std::pair<std::string_view, std::uint32_t> adminUnitShares[] = {
    {"区", 500}, {"县", 100}, {"镇", 200}, {"街道", 150}, {"乡", 20}, {"村", 20}, {"社区", 10},
};

// The forms that may stand in for a plain 有限公司 ending.
constexpr std::pair<std::string_view, std::uint32_t> orgFormShares[] = {
    {"有限责任公司", 250}, {"股份有限公司", 200}, {"集团有限公司", 100},        {"分公司", 150},
    {"常驻代表机构", 100}, {"代表处", 150},       {"合伙企业（有限合伙）", 50},
};

struct Capital
{
    std::string_view unit;
    std::uint32_t weight;
};
constexpr Capital capitalUnits[] = {
    {"万美元", 550}, {"万元人民币", 250}, {"万港元", 100},
    {"万欧元", 40},  {"万日元", 40},      {"万新加坡元", 20},
};
constexpr int capitalAmounts[] = {10,   20,   30,   50,   60,   80,    100,   120,  150,
                                  200,  250,  300,  500,  600,  800,   1000,  1200, 1500,
                                  2000, 2500, 3000, 5000, 8000, 10000, 20000, 30000};

enum class Slot {
    Literal,
    Latin,
    Translit,
    Cn,
    Trade,
    City,
    Province,
    Country,
    JointVenture,
    Form,
    District,
    Zone,
    Stem,
    Direction,
    Suffix,
    Number,
    Block,
    Floor,
    Room,
    Building,
};

struct Token
{
    Slot slot;
    std::string literal;
};
using Template = std::vector<Token>;

Template parseTemplate(const std::string &text,
                       const std::map<std::string_view, Slot> &placeholders)
{
    Template tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('{', pos);
        if (open != pos) {
            tokens.push_back({Slot::Literal, text.substr(pos, open - pos)});
            if (open == std::string::npos)
                break;
        }
        const size_t close = text.find('}', open);
        if (close == std::string::npos)
            throw QuorvaneError(QStringLiteral("unterminated placeholder in template %1")
                                    .arg(QString::fromStdString(text)));
        const auto slot =
            placeholders.find(std::string_view(text).substr(open + 1, close - open - 1));
        if (slot == placeholders.end())
            throw QuorvaneError(QStringLiteral("unknown placeholder in template %1")
                                    .arg(QString::fromStdString(text)));
        tokens.push_back({slot->second, {}});
        pos = close + 1;
    }
    return tokens;
}

bool uses(const Template &t, Slot slot)
{
    return std::any_of(t.begin(), t.end(),
                       [slot](const Token &token) { return token.slot == slot; });
}

bool endsWith(const std::string &s, std::string_view tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void appendNumber(std::string &out, long long value, int width = 0)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    for (int pad = width - int(result.ptr - buffer); pad > 0; --pad)
        out += '0';
    out.append(buffer, result.ptr);
}

void appendDigits(std::string &out, Random &random, int count)
{
    for (int i = 0; i < count; ++i)
        out += char('0' + random.below(10));
}

template<typename Table>
Weighted weightsFor(const std::vector<std::string> &items, const Table &table,
                    std::uint32_t otherwise)
{
    Weighted weights;
    for (const std::string &item : items) {
        std::uint32_t weight = otherwise;
        for (const auto &[name, share] : table) {
            if (name == item)
                weight = share;
        }
        weights.add(weight);
    }
    return weights;
}

// Check characters of the organisation code (GB 11714) and of the unified
// social credit code (GB 32100), so that the codes look like the real ones.
char organisationCheck(std::string_view body)
{
    static constexpr int weights[] = {3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (size_t i = 0; i < 8; ++i)
        sum += (body[i] - '0') * weights[i];
    const int check = 11 - sum % 11;
    return check == 10 ? 'X' : check == 11 ? '0' : char('0' + check);
}

char creditCodeCheck(std::string_view code)
{
    static constexpr std::string_view alphabet = "0123456789ABCDEFGHJKLMNPQRTUWXY";
    static constexpr int weights[] = {1,  3,  9,  27, 19, 26, 16, 17, 20,
                                      29, 24, 13, 8,  22, 25, 28, 17};
    int sum = 0;
    for (size_t i = 0; i < 17; ++i)
        sum += int(alphabet.find(code[i])) * weights[i];
    return alphabet[size_t((31 - sum % 31) % 31)];
}

} // namespace

struct EnterpriseGenerator::Private
{
    Private(const ReferenceData &data, std::uint64_t seed);

    void appendLatin(std::string &out, bool possessive);
    void appendTranslit(std::string &out);
    void appendChineseTradeName(std::string &out);
    void makeCompanyName(EnterpriseRow &row, const Province &province, const City &city,
                         size_t industry);
    void makeAddress(EnterpriseRow &row, const Province &province, const City &city);
    void makeScope(EnterpriseRow &row, size_t industry);
    void makeCode(EnterpriseRow &row, std::int64_t index, const Province &province,
                  size_t cityIndex);
    void makeContact(EnterpriseRow &row, const City &city);
    void makeFoundingAndCapital(EnterpriseRow &row);

    const ReferenceData &data;
    Random random;
    std::uint64_t codeOffset;

    Weighted provinceWeights;
    std::vector<Weighted> cityWeights;
    Weighted industryWeights;
    // Per industry: the trade words its own names contain, and its scope phrases.
    std::vector<std::vector<std::uint32_t>> industryTradeWords;
    std::vector<const std::vector<std::uint32_t> *> industryPhrases;
    std::map<std::string, std::vector<std::uint32_t>> phraseGroups;

    std::vector<std::string> tradeWords, countries, jointVentures, translitInitial, translitMiddle,
        translitFinal, chineseChars, acronyms, latinWords, affixes, orgForms;
    std::vector<Template> nameTemplates;
    std::vector<size_t> latinTemplates;
    Weighted orgFormWeights;
    std::vector<std::string> orgFormChoices;

    std::vector<std::string> stems, directions, suffixes, zones, zonePrefixes, adminUnits,
        buildingWords;
    Weighted suffixWeights, adminUnitWeights, municipalUnitWeights;
    std::vector<Template> addressTemplates;

    std::vector<std::string> phrases, closings;
    Weighted phraseCountWeights;
    Weighted yearWeights;
    Weighted capitalUnitWeights, capitalAmountWeights;

    int floor = 1; // the last {f}, so that the room {r} lies on it
};

EnterpriseGenerator::Private::Private(const ReferenceData &reference, std::uint64_t seed)
    : data(reference), random(seed), codeOffset(Random(~seed).next() % 100'000'000)
{
    for (const Province &province : data.provinces) {
        std::uint32_t share = 30;
        for (const auto &[name, weight] : provinceShares) {
            if (name == province.name)
                share = weight;
        }
        provinceWeights.add(share);
        // The cities are listed biggest first: weight them 1, 1/2, 1/3, ...
        Weighted cities;
        for (size_t i = 0; i < province.cities.size(); ++i)
            cities.add(std::uint32_t(12000 / (i + 1)));
        cityWeights.push_back(std::move(cities));
    }

    std::map<char, std::uint32_t> classesPerSection;
    for (const IndustryClass &industry : data.industries)
        ++classesPerSection[industry.code.front()];
    for (const IndustryClass &industry : data.industries) {
        std::uint32_t share = 20;
        for (const auto &[section, weight] : sectionShares) {
            if (section == industry.code.front())
                share = weight;
        }
        industryWeights.add(share * 1000 / classesPerSection[industry.code.front()]);
    }

    const TextSections &parts = data.nameParts;
    tradeWords = sectionTexts(parts, "trade_words");
    countries = sectionTexts(parts, "country_words");
    jointVentures = sectionTexts(parts, "joint_venture_prefixes");
    translitInitial = sectionTexts(parts, "translit_initial");
    translitMiddle = sectionTexts(parts, "translit_middle");
    translitFinal = sectionTexts(parts, "translit_final");
    chineseChars = sectionTexts(parts, "chinese_trade_name_chars");
    acronyms = sectionTexts(parts, "latin_acronyms");
    latinWords = sectionTexts(parts, "latin_words");
    affixes = sectionTexts(parts, "latin_affixes");
    orgForms = sectionTexts(parts, "org_forms");
    for (const std::string &form : orgForms) {
        for (const auto &[name, weight] : orgFormShares) {
            if (name == form) {
                orgFormChoices.push_back(form);
                orgFormWeights.add(weight);
            }
        }
    }

    const std::map<std::string_view, Slot> nameSlots = {
        {"latin", Slot::Latin},     {"translit", Slot::Translit}, {"cn", Slot::Cn},
        {"trade", Slot::Trade},     {"city", Slot::City},         {"province", Slot::Province},
        {"country", Slot::Country}, {"jv", Slot::JointVenture},   {"form", Slot::Form},
    };
    for (const std::string &text : sectionTexts(parts, "name_templates")) {
        nameTemplates.push_back(parseTemplate(text, nameSlots));
        if (uses(nameTemplates.back(), Slot::Latin))
            latinTemplates.push_back(nameTemplates.size() - 1);
    }
    if (latinTemplates.empty())
        throw QuorvaneError(QStringLiteral("no company name template has a {latin} part"));

    // A company's name usually says what it does: the trade words that its
    // industry's names contain are preferred.
    for (const IndustryClass &industry : data.industries) {
        std::vector<std::uint32_t> words;
        for (size_t w = 0; w < tradeWords.size(); ++w) {
            const std::string &word = tradeWords[w];
            if (industry.name.find(word) != std::string::npos ||
                industry.groupName.find(word) != std::string::npos ||
                industry.divisionName.find(word) != std::string::npos)
                words.push_back(std::uint32_t(w));
        }
        industryTradeWords.push_back(std::move(words));
    }

    const TextSections &streetParts = data.streets;
    stems = sectionTexts(streetParts, "road_stems");
    directions = sectionTexts(streetParts, "road_directions");
    suffixes = sectionTexts(streetParts, "road_suffixes");
    zones = sectionTexts(streetParts, "zones");
    zonePrefixes = sectionTexts(streetParts, "zone_prefixes");
    adminUnits = sectionTexts(streetParts, "admin_units");
    buildingWords = sectionTexts(streetParts, "building_words");
    suffixWeights = weightsFor(suffixes, suffixShares, 10);
    adminUnitWeights = weightsFor(adminUnits, adminUnitShares, 10);
    // A district of Beijing or Shanghai is itself the 区: below it come towns and streets.
    for (size_t i = 0; i < adminUnits.size(); ++i) {
        const bool county = adminUnits[i] == "区" || adminUnits[i] == "县";
        std::uint32_t weight = county ? 0 : 10;
        for (const auto &[name, share] : adminUnitShares) {
            if (!county && name == adminUnits[i])
                weight = share;
        }
        municipalUnitWeights.add(weight);
    }
    if (municipalUnitWeights.isEmpty())
        municipalUnitWeights = adminUnitWeights;

    const std::map<std::string_view, Slot> addressSlots = {
        {"province", Slot::Province}, {"city", Slot::City}, {"district", Slot::District},
        {"zone", Slot::Zone},         {"stem", Slot::Stem}, {"dir", Slot::Direction},
        {"suffix", Slot::Suffix},     {"n", Slot::Number},  {"b", Slot::Block},
        {"f", Slot::Floor},           {"r", Slot::Room},    {"building", Slot::Building},
    };
    for (const std::string &text : sectionTexts(streetParts, "address_templates"))
        addressTemplates.push_back(parseTemplate(text, addressSlots));

    const auto phraseItems = data.scope.find("phrases");
    if (phraseItems == data.scope.end() || phraseItems->second.empty())
        throw QuorvaneError(QStringLiteral("embedded reference data has no scope phrases"));
    for (const TextItem &item : phraseItems->second) {
        phraseGroups[item.comment].push_back(std::uint32_t(phrases.size()));
        phrases.push_back(item.text);
    }
    closings = sectionTexts(data.scope, "closing");
    static const std::vector<std::uint32_t> noGroup;
    for (const IndustryClass &industry : data.industries) {
        std::string_view best;
        const std::vector<std::uint32_t> *group = &noGroup;
        for (const auto &[prefix, name] : scopeGroups) {
            if (industry.code.starts_with(prefix) && prefix.size() > best.size()) {
                const auto it = phraseGroups.find(std::string(name));
                if (it != phraseGroups.end()) {
                    best = prefix;
                    group = &it->second;
                }
            }
        }
        industryPhrases.push_back(group);
    }
    for (const std::uint32_t weight : {100, 200, 250, 200, 120, 80, 50}) // 2 to 8 phrases
        phraseCountWeights.add(weight);

    // Foreign investment began in earnest in the 1990s and grew after 2001.
    for (int year = 1985; year <= 2023; ++year)
        yearWeights.add(year < 1992 ? 1 : year < 2002 ? 3 : year < 2013 ? 5 : 4);
    for (const Capital &unit : capitalUnits)
        capitalUnitWeights.add(unit.weight);
    for (const int amount : capitalAmounts)
        capitalAmountWeights.add(amount <= 50 ? 3 : amount <= 1000 ? 6 : amount <= 5000 ? 3 : 1);
}

void EnterpriseGenerator::Private::appendLatin(std::string &out, bool possessive)
{
    if (possessive) {
        const std::string &word = random.pick(latinWords);
        if (random.chance(600)) {
            out += word;
            out += "'s";
        } else {
            out += "O'";
            out += word;
        }
        return;
    }
    out += random.chance(450) ? random.pick(acronyms) : random.pick(latinWords);
    if (random.chance(400))
        out += random.pick(affixes);
}

void EnterpriseGenerator::Private::appendTranslit(std::string &out)
{
    const int syllables = random.chance(500) ? 2 : random.chance(700) ? 3 : 4;
    out += random.pick(translitInitial);
    for (int i = 2; i < syllables; ++i)
        out += random.pick(translitMiddle);
    out += random.pick(translitFinal);
}

void EnterpriseGenerator::Private::appendChineseTradeName(std::string &out)
{
    const std::uint32_t first = random.below(std::uint32_t(chineseChars.size()));
    std::uint32_t second = random.below(std::uint32_t(chineseChars.size() - 1));
    if (second >= first)
        ++second;
    out += chineseChars[first];
    out += chineseChars[second];
}

void EnterpriseGenerator::Private::makeCompanyName(EnterpriseRow &row, const Province &province,
                                                   const City &city, size_t industry)
{
    // About one name in a hundred carries an apostrophe, which the search
    // has to quote.
    const bool possessive = random.chance(10);
    const Template &t =
        possessive ? nameTemplates[random.pick(latinTemplates)] : random.pick(nameTemplates);
    const std::vector<std::uint32_t> &ownWords = industryTradeWords[industry];
    std::string &out = row.companyName;
    out.clear();
    bool latinDone = false;
    for (const Token &token : t) {
        switch (token.slot) {
        case Slot::Literal:
            out += token.literal;
            break;
        case Slot::Latin:
            appendLatin(out, possessive && !latinDone);
            latinDone = true;
            break;
        case Slot::Translit:
            appendTranslit(out);
            break;
        case Slot::Cn:
            appendChineseTradeName(out);
            break;
        case Slot::Trade:
            if (!ownWords.empty() && random.chance(600))
                out += tradeWords[random.pick(ownWords)];
            else
                out += random.pick(tradeWords);
            break;
        case Slot::City:
            out += city.shortName;
            break;
        case Slot::Province:
            out += province.shortName;
            break;
        case Slot::Country:
            out += random.pick(countries);
            break;
        case Slot::JointVenture:
            out += random.pick(jointVentures);
            break;
        case Slot::Form:
            out += random.pick(orgForms);
            break;
        default:
            break;
        }
    }
    // Vary the plain ending, but not after a bracketed region such as
    // （中国）, where only 有限公司 reads naturally.
    static constexpr std::string_view plain = "有限公司";
    static constexpr std::string_view bracket = "）";
    if (!orgFormChoices.empty() && endsWith(out, plain) && random.chance(200)) {
        out.resize(out.size() - plain.size());
        if (endsWith(out, bracket))
            out += plain;
        else
            out += orgFormChoices[orgFormWeights.pick(random)];
    }
}

void EnterpriseGenerator::Private::makeAddress(EnterpriseRow &row, const Province &province,
                                               const City &city)
{
    const Template &t = random.pick(addressTemplates);
    std::string &out = row.address;
    out.clear();
    for (const Token &token : t) {
        switch (token.slot) {
        case Slot::Literal:
            out += token.literal;
            break;
        case Slot::Province:
            // In a municipality the city part already begins with it.
            if (!province.municipality)
                out += province.name;
            break;
        case Slot::City:
            if (province.municipality)
                out += province.name;
            out += city.name;
            break;
        case Slot::District:
            out += random.pick(stems);
            out += adminUnits[(province.municipality ? municipalUnitWeights : adminUnitWeights)
                                  .pick(random)];
            break;
        case Slot::Zone:
            if (random.chance(250))
                out += random.pick(zonePrefixes);
            out += random.pick(zones);
            break;
        case Slot::Stem:
            out += random.pick(stems);
            break;
        case Slot::Direction:
            out += random.pick(directions);
            break;
        case Slot::Suffix:
            out += suffixes[suffixWeights.pick(random)];
            break;
        case Slot::Number:
            appendNumber(out, random.between(1, random.chance(750) ? 300 : 999));
            break;
        case Slot::Block:
            appendNumber(out, random.between(1, 30));
            break;
        case Slot::Floor:
            floor = random.between(1, 32);
            appendNumber(out, floor);
            break;
        case Slot::Room:
            appendNumber(out, floor * 100 + random.between(1, 20));
            break;
        case Slot::Building:
            appendChineseTradeName(out);
            out += random.pick(buildingWords);
            break;
        default:
            break;
        }
    }
}

void EnterpriseGenerator::Private::makeScope(EnterpriseRow &row, size_t industry)
{
    const std::vector<std::uint32_t> &own = *industryPhrases[industry];
    const size_t count = 2 + phraseCountWeights.pick(random);
    std::array<std::uint32_t, 8> chosen{};
    size_t taken = 0;
    for (size_t attempt = 0; taken < count && attempt < count * 4; ++attempt) {
        const std::uint32_t phrase = !own.empty() && random.chance(650)
                                         ? random.pick(own)
                                         : random.below(std::uint32_t(phrases.size()));
        if (std::find(chosen.begin(), chosen.begin() + taken, phrase) == chosen.begin() + taken)
            chosen[taken++] = phrase;
    }
    const std::string_view separator = random.chance(700) ? "；" : "，";
    std::string &out = row.businessScope;
    out.clear();
    for (size_t i = 0; i < taken; ++i) {
        if (i > 0)
            out += separator;
        out += phrases[chosen[i]];
    }
    out += "。";
    if (random.chance(600))
        out += random.pick(closings);
}

void EnterpriseGenerator::Private::makeCode(EnterpriseRow &row, std::int64_t index,
                                            const Province &province, size_t cityIndex)
{
    // 91 (an enterprise registered with the market regulator), the
    // division code, the organisation code and a check character. The
    // organisation code's body is the row number run through a bijection of
    // 0..10^8-1 (387420489 = 3^18 is prime to 10^8), so no two rows share a code.
    std::string &code = row.enterpriseCode;
    code.assign("91");
    code += province.adminCode;
    if (province.municipality) {
        code += "01";
        appendNumber(code, int(cityIndex) + 1, 2);
    } else {
        appendNumber(code, int(cityIndex) + 1, 2);
        code += "00";
    }
    const std::uint64_t body = (std::uint64_t(index) * 387420489u + codeOffset) % 100'000'000u;
    const size_t bodyStart = code.size();
    appendNumber(code, (long long)body, 8);
    code += organisationCheck(std::string_view(code).substr(bodyStart));
    code += creditCodeCheck(code);
}

void EnterpriseGenerator::Private::makeContact(EnterpriseRow &row, const City &city)
{
    row.postcode = city.postcode;
    std::string &phone = row.telephone;
    phone.assign(city.areaCode);
    phone += '-';
    phone += char('2' + random.below(7));
    appendDigits(phone, random, 7);

    // Many companies list no fax: some as an empty text, some not at all.
    const std::uint32_t r = random.below(100);
    row.faxNull = r < 10;
    row.fax.clear();
    if (r >= 20) {
        // The fax line is usually a neighbour of the telephone's.
        row.fax.assign(phone, 0, phone.size() - 4);
        appendDigits(row.fax, random, 4);
    }
}

void EnterpriseGenerator::Private::makeFoundingAndCapital(EnterpriseRow &row)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = 1985 + int(yearWeights.pick(random));
    const int month = random.between(1, 12);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int day = random.between(1, days[month - 1] + (month == 2 && leap ? 1 : 0));
    std::string &founded = row.founded;
    founded.clear();
    appendNumber(founded, year, 4);
    founded += '-';
    appendNumber(founded, month, 2);
    founded += '-';
    appendNumber(founded, day, 2);

    std::string &capital = row.registeredCapital;
    capital.clear();
    appendNumber(capital, capitalAmounts[capitalAmountWeights.pick(random)]);
    capital += capitalUnits[capitalUnitWeights.pick(random)].unit;
}

EnterpriseGenerator::EnterpriseGenerator(const ReferenceData &data, std::uint64_t seed)
    : d(std::make_unique<Private>(data, seed))
{}

EnterpriseGenerator::~EnterpriseGenerator() = default;

void EnterpriseGenerator::generate(std::int64_t index, EnterpriseRow &row)
{
    const size_t p = d->provinceWeights.pick(d->random);
    const Province &province = d->data.provinces[p];
    const size_t c = d->cityWeights[p].pick(d->random);
    const City &city = province.cities[c];
    const size_t industry = d->industryWeights.pick(d->random);
    const IndustryClass &industryClass = d->data.industries[industry];

    d->makeCode(row, index, province, c);
    row.province = province.name;
    d->makeCompanyName(row, province, city, industry);
    d->makeAddress(row, province, city);
    d->makeScope(row, industry);
    row.tradeCode = industryClass.code;
    row.trade = industryClass.name;
    d->makeContact(row, city);
    d->makeFoundingAndCapital(row);
}
