#include "settings/ui/mdlKeyFilter.h"

#include "settings/mdlUtils.h"

#include <QLineEdit>

TKeyFilterValidator::TKeyFilterValidator(bool real, bool isSigned, QObject* parent)
    : QValidator(parent), m_real(real), m_signed(isSigned)
{}

QValidator::State TKeyFilterValidator::validate(QString& input, int&) const
{
    for (const QChar c : input) {
        const auto pass = m_real ? realKeyFilter(c, m_signed) : integerKeyFilter(c, m_signed);
        if (!pass)
            return Invalid;
    }
    return Acceptable;
}

void setIntegerKeyFilter(QLineEdit* edit, bool isSigned)
{
    edit->setValidator(new TKeyFilterValidator(false, isSigned, edit));
}

void setRealKeyFilter(QLineEdit* edit, bool isSigned)
{
    edit->setValidator(new TKeyFilterValidator(true, isSigned, edit));
}
