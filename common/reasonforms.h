// English reasons (as the debug output and bandctl give them) in the
// operator's language: each known wording is a pattern, its translation a
// text with the pattern's captures as %1, %2, ...
#pragma once

#include <QString>

#include <cstddef>

struct ReasonForm {
    const char *english; // a regular expression over the whole reason
    const char *shown;   // marked with QT_TRANSLATE_NOOP in `context`
};

// The first form that matches, translated in context and filled in; a
// reason no form knows stays as it is.
QString translateReason(const QString &reason, const ReasonForm *forms, int count, const char *context);

template <std::size_t N>
QString translateReason(const QString &reason, const ReasonForm (&forms)[N], const char *context)
{
    return translateReason(reason, forms, int(N), context);
}
