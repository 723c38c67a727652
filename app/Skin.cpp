#include "app/Skin.h"

#include <QApplication>
#include <QFile>
#include <QFont>

void applySkin(QApplication &application)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"), 9);
    font.setStyleHint(QFont::SansSerif);
    application.setFont(font);

    QFile sheet(QStringLiteral(":/skin/quorvane.qss"));
    if (sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        application.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}
