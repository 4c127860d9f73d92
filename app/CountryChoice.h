#pragma once

#include <QList>
#include <QString>

// A country "Keep proxies by country..." offers: its code, its name and how many rows the list has in it.
struct CountryChoice
{
    QString code;
    QString name;
    qsizetype rows = 0;
};
using CountryChoices = QList<CountryChoice>;
