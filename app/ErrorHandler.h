#pragma once

#include <QString>

#include <functional>

// The application's default error handler. Every event handler runs through
// dispatch(), which catches what it throws and shows it here, so that no
// exception ever unwinds through Qt's event loop; the program then carries on.
namespace ErrorHandler {

inline const QString applicationTitle = QStringLiteral("Vantorel");

// The text shown for a message: a full stop is added when the last
// character sorts after '.'.
QString displayText(const QString &message);

// Shows a message in an error box titled with the application title.
void show(const QString &message);

// What shows the box; tests put a recorder here.
using Presenter = std::function<void(const QString &title, const QString &text)>;
void setPresenter(Presenter presenter);
void resetPresenter();

// Runs a handler, showing whatever it throws.
void dispatch(const std::function<void()> &handler);

// A slot for connect() that runs a member handler through dispatch().
template<class Object, class Handler> auto handler(Object *object, Handler member)
{
    return [object, member](auto &&...) { dispatch([object, member] { (object->*member)(); }); };
}

} // namespace ErrorHandler
