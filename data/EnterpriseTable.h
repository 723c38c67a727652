#pragma once

#include <QString>
#include <QStringList>

// The table every statement reads, and the ten columns the program names.
// A store may hold more columns: they are fetched and not shown.
namespace EnterpriseTable {

inline const QString name = QStringLiteral("外商");

inline const QString enterpriseCode = QStringLiteral("企业代码");
inline const QString province = QStringLiteral("省份");
inline const QString companyName = QStringLiteral("公司名称");
inline const QString address = QStringLiteral("地址");
inline const QString businessScope = QStringLiteral("经营范围");
inline const QString tradeCode = QStringLiteral("行业代码");
inline const QString postcode = QStringLiteral("邮编");
inline const QString trade = QStringLiteral("行业");
inline const QString telephone = QStringLiteral("电话");
inline const QString fax = QStringLiteral("传真");

// All ten, in the table's own order.
QStringList columns();

} // namespace EnterpriseTable

// One row of the table as the program uses it: ten texts, NULL read as empty.
struct EnterpriseRecord
{
    QString enterpriseCode;
    QString province;
    QString companyName;
    QString address;
    QString businessScope;
    QString tradeCode;
    QString postcode;
    QString trade;
    QString telephone;
    QString fax;
};
