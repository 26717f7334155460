#pragma once

#include <array>
#include <cstdint>

namespace rz4 {

// The controller's ten closed-loop (PID) values, in the order it reports and takes them.
using PidValues = std::array<std::uint16_t, 10>;
// The gains P, I and D: the first three of the ten values.
using PidGains = std::array<std::uint16_t, 3>;
// The closed-loop dialog's five fields, in its order: P gain, I gain, D gain, I samples, D samples.
using PidFields = std::array<std::uint32_t, 5>;

// The slot of the ten values that each of the five fields stands for; the other five slots (3 to 5, 8
// and 9) have no field.
inline constexpr std::array<int, 5> kPidFieldSlots = {0, 1, 2, 6, 7};

// The five fields of ten values (as the device record keeps them, or as sent).
template <typename Value> constexpr PidFields pidFieldsOf(const Value (&values)[10]) {
    PidFields fields{};
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = static_cast<std::uint32_t>(values[kPidFieldSlots[i]]);
    return fields;
}
constexpr PidFields pidFieldsOf(const PidValues& values) {
    PidFields fields{};
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = values[static_cast<std::size_t>(kPidFieldSlots[i])];
    return fields;
}

// The ten values with the five fields in their slots (each field's low 16 bits) and the other five
// slots as in rest (the dialog's own "Send PID Parameters" sends them as 0).
constexpr PidValues pidValuesWith(const PidFields& fields, const PidValues& rest = {}) {
    PidValues values = rest;
    for (std::size_t i = 0; i < fields.size(); ++i)
        values[static_cast<std::size_t>(kPidFieldSlots[i])] = static_cast<std::uint16_t>(fields[i] & 0xFFFFu);
    return values;
}

// The ten values as the device record keeps them (each its low 16 bits).
constexpr PidValues pidValuesOf(const std::uint32_t (&values)[10]) {
    PidValues out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint16_t>(values[i] & 0xFFFFu);
    return out;
}

// The gains of ten values, and ten values with other gains and the other seven values as they are.
constexpr PidGains pidGainsOf(const PidValues& values) {
    return {values[0], values[1], values[2]};
}
constexpr PidValues pidValuesWithGains(const PidGains& gains, const PidValues& rest) {
    PidValues values = rest;
    for (std::size_t i = 0; i < gains.size(); ++i)
        values[i] = gains[i];
    return values;
}

} // namespace rz4
