#include "app/CountryDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

CountryDialog::CountryDialog(const CountryChoices &offered, QWidget *parent)
    : QDialog(parent), m_countries(new QListWidget(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Keep proxies by country"));
    m_countries->setObjectName(QStringLiteral("countries"));
    const QLocale locale;
    for (const CountryChoice &country : offered) {
        const QString name = country.name.isEmpty() ? country.code : country.name;
        auto *item =
            new QListWidgetItem(tr("%1  %2 (%3)").arg(country.code, name, locale.toString(country.rows)), m_countries);
        item->setData(Qt::UserRole, country.code);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Keep the proxies in these countries:"), this));
    layout->addWidget(m_countries);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_countries, &QListWidget::itemChanged, this, &CountryDialog::check);
    check();
}

QStringList CountryDialog::chosen() const
{
    QStringList codes;
    for (int i = 0; i < m_countries->count(); ++i) {
        const QListWidgetItem *item = m_countries->item(i);
        if (item->checkState() == Qt::Checked)
            codes.append(item->data(Qt::UserRole).toString());
    }
    return codes;
}

void CountryDialog::check()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!chosen().isEmpty());
}
