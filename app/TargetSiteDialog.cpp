#include "app/TargetSiteDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TargetSiteDialog::TargetSiteDialog(const SiteAnswer &current, QWidget *parent)
    : QDialog(parent), m_url(new QLineEdit(current.url, this)), m_text(new QLineEdit(current.expectedText, this)),
      m_status(new QLineEdit(current.expectedStatus, this)), m_problem(new QLabel(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Target Site"));
    m_url->setPlaceholderText(tr("none"));
    m_status->setPlaceholderText(tr("any 2xx"));
    m_problem->setWordWrap(true);
    m_url->setObjectName(QStringLiteral("url"));
    m_text->setObjectName(QStringLiteral("expectedText"));
    m_status->setObjectName(QStringLiteral("expectedStatus"));
    m_problem->setObjectName(QStringLiteral("problem"));
    auto *form = new QFormLayout(this);
    form->addRow(tr("URL:"), m_url);
    form->addRow(tr("Expected text:"), m_text);
    form->addRow(tr("Expected status:"), m_status);
    form->addRow(m_problem);
    form->addRow(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit *field : {m_url, m_status})
        connect(field, &QLineEdit::textChanged, this, &TargetSiteDialog::check);
    check();
}

SiteAnswer TargetSiteDialog::answer() const
{
    return {m_url->text(), m_text->text(), m_status->text()};
}

QString TargetSiteDialog::problem() const
{
    const auto site = answer().siteCheck();
    const auto *reason = std::get_if<QString>(&site);
    return reason ? *reason : QString();
}

bool TargetSiteDialog::canAccept() const
{
    return m_buttons->button(QDialogButtonBox::Ok)->isEnabled();
}

void TargetSiteDialog::check()
{
    const QString reason = problem();
    m_problem->setText(reason);
    m_problem->setVisible(!reason.isEmpty());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(reason.isEmpty());
}
