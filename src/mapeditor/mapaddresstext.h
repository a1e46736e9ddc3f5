#pragma once

#include <QString>

struct MapDefinition;

// Addresses and facts of a map as the properties dialog, the information dialog and the
// tree's hover card write them.
namespace MapAddressText {

// 8 upper-case hexadecimal digits, no prefix; "Non assegnato" for a negative address.
QString axisAddress(int offset);
QString address(int offset);

// A hexadecimal address typed by the user (an optional "0x" is allowed). False, leaving
// offset untouched, for text that is not hexadecimal or does not fit a non-negative offset.
bool parseAddress(const QString &text, int *offset);

// "0x" + 8 digits, or "-" for a negative address.
QString prefixedAddress(int offset);
// "rows x columns".
QString sizeText(const MapDefinition &definition);
// The rich text of the tree's hover card, with every text of the definition HTML-escaped.
QString hoverCard(const MapDefinition &definition);

} // namespace MapAddressText
