#pragma once

// Shorthands for writing the field tables of the option pages.

#include "options/mdlOptionFields.h"

inline TOptionField optText(const char* name, const char* page, const char* group, const char* label, TRomEntry entry,
                            int offset, int width, TOptionConv conv)
{
    TOptionField f;
    f.name = QString::fromLatin1(name);
    f.page = QString::fromLatin1(page);
    f.group = QString::fromUtf8(group);
    f.label = QString::fromUtf8(label);
    f.entry = entry;
    f.offset = offset;
    f.width = width;
    f.conv = conv;
    return f;
}

inline TOptionField optCheck(const char* name, const char* page, const char* group, const char* label, TRomEntry entry,
                             int offset, TOptionConv conv, int onValue = 0xFF, int offValue = 0x00)
{
    TOptionField f = optText(name, page, group, label, entry, offset, 1, conv);
    f.control = TOptionControl::Check;
    f.onValue = onValue;
    f.offValue = offValue;
    return f;
}

inline TOptionField optCustom(const char* name, TOptionControl control, const char* page, const char* group,
                              const char* label)
{
    TOptionField f;
    f.name = QString::fromLatin1(name);
    f.control = control;
    f.page = QString::fromLatin1(page);
    f.group = QString::fromUtf8(group);
    f.label = QString::fromUtf8(label);
    return f;
}

inline QString checkText(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

// A combo-box choice typed as its item index; outside 0..count-1 it raises
// the error of a selection no list has.
int parseComboIndex(const QString& text, int count);
