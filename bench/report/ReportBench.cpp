// Times the enterprise list report over a made-up result: walking the rows
// into pages, painting them, and the whole road from the command to an open
// print preview. With --pdf it also writes the report, with --shot a
// picture of the preview, to be looked at.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"
#include "data/Sqlite.h"
#include "views/QRepFrm.h"
#include "views/ReportRenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

QString pick(QRandomGenerator &random, const QStringList &choices)
{
    return choices.at(int(random.bounded(quint32(choices.size()))));
}

QString digits(QRandomGenerator &random, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'0' + random.bounded(10));
    return text;
}

// Rows that look like the real table: long names, addresses and business
// scopes that need breaking, a few empty fields.
void makeStore(const QString &path, int rows)
{
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec("CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, 地址 TEXT, 经营范围 TEXT, "
            "行业代码 TEXT, 邮编 TEXT, 行业 TEXT, 电话 TEXT, 传真 TEXT)");
    db.exec("BEGIN");
    SqliteStatement insert(db.handle(), "INSERT INTO 外商 VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
    QRandomGenerator random(20240601);
    const QStringList provinces = {QStringLiteral("江苏省"),   QStringLiteral("广东省"),
                                   QStringLiteral("上海市"),   QStringLiteral("浙江省"),
                                   QStringLiteral("山东省"),   QStringLiteral("北京市"),
                                   QStringLiteral("黑龙江省"), QStringLiteral("内蒙古自治区")};
    const QStringList cities = {QStringLiteral("苏州"), QStringLiteral("深圳"),
                                QStringLiteral("东莞"), QStringLiteral("宁波"),
                                QStringLiteral("青岛"), QStringLiteral("昆山")};
    const QStringList brands = {QStringLiteral("华泰"),   QStringLiteral("联合"),
                                QStringLiteral("新亚"),   QStringLiteral("金鹏"),
                                QStringLiteral("伟创力"), QStringLiteral("长城")};
    const QStringList kinds = {QStringLiteral("电子"), QStringLiteral("电子科技"),
                               QStringLiteral("精密电子元器件"), QStringLiteral("光电子材料"),
                               QStringLiteral("电子信息技术开发")};
    const QStringList forms = {QStringLiteral("有限公司"), QStringLiteral("股份有限公司"),
                               QStringLiteral("（中国）有限公司")};
    const QStringList roads = {QStringLiteral("工业园区星海街"), QStringLiteral("高新区长江路"),
                               QStringLiteral("经济技术开发区珠江路"),
                               QStringLiteral("南山区科技园南区")};
    const QStringList scopes = {
        QStringLiteral("生产电子元器件、集成电路及相关产品，销售自产产品并提供售后服务"),
        QStringLiteral("研发、生产新型电子元器件（片式元器件、敏感元器件及传感器）"),
        QStringLiteral("电子产品"),
        QStringLiteral("Design and manufacture of printed circuit boards; 销售本公司产品")};
    const QStringList trades = {QStringLiteral("电子元件制造"),
                                QStringLiteral("计算机、通信和其他电子设备制造业"),
                                QStringLiteral("电子")};
    for (int i = 0; i < rows; ++i) {
        const QString city = pick(random, cities);
        insert.bind(1, QStringLiteral("32%1").arg(digits(random, 10)));
        insert.bind(2, pick(random, provinces));
        insert.bind(3, city + pick(random, brands) + pick(random, kinds) + pick(random, forms));
        insert.bind(4, city + QStringLiteral("市") + pick(random, roads) +
                           QString::number(random.bounded(1, 999)) + QStringLiteral("号"));
        insert.bind(5, pick(random, scopes));
        insert.bind(6, QStringLiteral("C39%1").arg(digits(random, 2)));
        insert.bind(7, digits(random, 6));
        insert.bind(8, pick(random, trades));
        insert.bind(9, QStringLiteral("0512-") + digits(random, 8));
        if (i % 7 == 3)
            insert.bindNull(10);
        else
            insert.bind(10, QStringLiteral("0512-") + digits(random, 8));
        insert.step();
        insert.reset();
    }
    db.exec("COMMIT");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const auto option = [&args](const QString &name) {
        const qsizetype at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size())
            return QString();
        const QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    };
    const QString pdf = option(QStringLiteral("--pdf"));
    const QString shot = option(QStringLiteral("--shot"));
    // A real store and a business scope to search it for, in place of made-up rows.
    const QString store = option(QStringLiteral("--store"));
    const QString scope = option(QStringLiteral("--scope"));
    const int wanted = args.isEmpty() ? 1000 : args.first().toInt();

    QTemporaryDir dir;
    QString path = store;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("bench.db"));
        makeStore(path, wanted);
    }
    Connection connection;
    connection.setConnectionString(
        DatabaseLocation::connectionString(path, DatabaseLocation::password));
    Query query(&connection);
    if (scope.isEmpty()) {
        query.setSql(QStringLiteral("SELECT * FROM 外商"));
        query.open();
    } else {
        SearchCriteria criteria;
        criteria.businessScope = scope;
        runSearch(connection, query, criteria);
    }
    const int rows = query.recordCount();

    QTextStream out(stdout);
    QElapsedTimer timer;

    // Walking the rows alone, on a freshly opened set, as the command finds it.
    {
        TfrmQRep report(&query);
        timer.start();
        report.prepare();
        out << "walk " << rows << " rows into " << report.document().pages.size()
            << " pages: " << timer.elapsed() << " ms\n";

        QPrinter printer(QPrinter::HighResolution);
        ReportRenderer::setUpPrinter(printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("printer.pdf")));
        timer.start();
        report.print(&printer);
        out << "paint to a printer (PDF): " << timer.elapsed() << " ms\n";

        if (!pdf.isEmpty()) {
            timer.start();
            try {
                report.exportPdf(pdf);
                out << "export " << pdf << ": " << timer.elapsed() << " ms\n";
            } catch (const QuorvaneError &error) {
                out << "export failed: " << error.message() << "\n";
            }
        }
    }

    // The command: reopen the set, so nothing is cached, then time the road
    // to a preview that has painted its pages and shown itself.
    query.open();
    qint64 opened = -1;
    int previewPages = 0;
    {
        TfrmQRep report(&query);
        // The walk shows a progress window, whose events run this too: wait
        // for the preview itself.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            QCoreApplication::processEvents();
            opened = timer.elapsed();
            if (auto *pages = dialog->findChild<QPrintPreviewWidget *>())
                previewPages = pages->pageCount();
            poll.stop();
            if (!shot.isEmpty()) {
                dialog->resize(1200, 800);
                QCoreApplication::processEvents();
                dialog->grab().save(shot);
            }
            dialog->reject();
        });
        poll.start(0);
        timer.start();
        report.preview();
    }
    out << "preview of " << rows << " rows (" << previewPages << " pages) open after: " << opened
        << " ms\n";
    out << "current row after the preview: " << query.recNo() << " of " << query.recordCount()
        << "\n";
    return 0;
}
