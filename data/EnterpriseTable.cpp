#include "data/EnterpriseTable.h"

QStringList EnterpriseTable::columns()
{
    return {enterpriseCode, province, companyName, address,   businessScope,
            tradeCode,      postcode, trade,       telephone, fax};
}
