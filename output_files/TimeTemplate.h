// Expansion of a base file name as a date/time template, by the rules of wcsftime.
#pragma once

#include <QString>

#include <ctime>

// Formats `when` with `templ` as the format into at most 127 characters. Day and month names
// follow Japanese where the system has a Japanese locale; the process locale is left alone.
// Empty text when the result would not fit, is empty, or the format is rejected. A path
// separator produced by a conversion (such as the date as month/day/year) becomes "-", so the
// expansion never reaches into another folder; so does a control character (%n, %t).
QString ExpandTimeTemplate(const QString& templ, const std::tm& when);

// The same for the current local time; empty text when the local time is unavailable.
QString ExpandTimeTemplateNow(const QString& templ);
