#pragma once

#include "app/CountryChoice.h"

#include <QDialog>
#include <QStringList>

class QDialogButtonBox;
class QListWidget;

// The "Keep proxies by country..." box: the countries of the list, most rows first, each to tick. OK keeps the rows
// of the ticked ones, and is disabled while none is.
class CountryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CountryDialog(const CountryChoices &offered, QWidget *parent = nullptr);

    // The codes ticked, in the order offered.
    QStringList chosen() const;

private:
    void check();

    QListWidget *m_countries;
    QDialogButtonBox *m_buttons;
};
