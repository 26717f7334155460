#pragma once

#include <QString>

#include <cstdint>

// Number texts of dialog edit fields. Reading is strict: optional blanks around the digits, nothing
// else; text that is not a number, or a number out of the type's range, reads as 0.
uint32_t readUnsignedDecimal(const QString& text);
// As readUnsignedDecimal, with one optional leading '-' or '+'.
int32_t readSignedDecimal(const QString& text);

QString unsignedDecimalText(uint32_t value);
QString signedDecimalText(int32_t value);
// Four byte values joined by dots, most significant first ("1.2.3.4").
QString dottedQuadText(uint32_t value);
