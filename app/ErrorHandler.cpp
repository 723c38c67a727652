#include "app/ErrorHandler.h"

#include "data/QuorvaneError.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace {

void showMessageBox(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

ErrorHandler::Presenter &presenter()
{
    static ErrorHandler::Presenter current = showMessageBox;
    return current;
}

} // namespace

QString ErrorHandler::displayText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void ErrorHandler::show(const QString &message)
{
    presenter()(applicationTitle, displayText(message));
}

void ErrorHandler::setPresenter(Presenter replacement)
{
    presenter() = std::move(replacement);
}

void ErrorHandler::resetPresenter()
{
    presenter() = showMessageBox;
}

void ErrorHandler::dispatch(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const QuorvaneError &error) {
        show(error.message());
    } catch (const std::bad_alloc &) {
        show(QStringLiteral("内存不足"));
    } catch (const std::exception &error) {
        show(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        show(QStringLiteral("发生未知错误"));
    }
}
