#pragma once

// Typed numbers in text fields are filtered as they are typed: digits only, and
// for signed fields '+' and '-', for real fields '.'. The validator applies the
// key filters of mdlUtils.h to every character, so pasted text is held to the
// same rule.

#include <QValidator>

class QLineEdit;

class TKeyFilterValidator : public QValidator {
public:
    TKeyFilterValidator(bool real, bool isSigned, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    bool m_real;
    bool m_signed;
};

void setIntegerKeyFilter(QLineEdit* edit, bool isSigned);
void setRealKeyFilter(QLineEdit* edit, bool isSigned);
