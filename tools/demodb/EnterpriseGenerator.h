#pragma once

#include "tools/demodb/ReferenceData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One fictitious enterprise, as UTF-8 texts in the table's column order.
struct EnterpriseRow
{
    std::string enterpriseCode;
    std::string province;
    std::string companyName;
    std::string address;
    std::string businessScope;
    std::string tradeCode;
    std::string postcode;
    std::string trade;
    std::string telephone;
    std::string fax;
    std::string founded;
    std::string registeredCapital;
    bool faxNull = false;
};

// Makes rows from the reference data. The same seed gives the same rows in
// the same order on every platform: the generator uses its own random
// numbers and integer arithmetic only.
class EnterpriseGenerator final
{
public:
    // The enterprise codes are unique for up to this many rows.
    static constexpr std::int64_t maximumRows = 100'000'000;

    EnterpriseGenerator(const ReferenceData &data, std::uint64_t seed);
    ~EnterpriseGenerator();
    EnterpriseGenerator(const EnterpriseGenerator &) = delete;
    EnterpriseGenerator &operator=(const EnterpriseGenerator &) = delete;

    // Fills row with enterprise number index (0-based); rows must be asked
    // for in order, as each one draws on the random numbers of the last.
    void generate(std::int64_t index, EnterpriseRow &row);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
