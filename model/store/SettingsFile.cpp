#include "model/store/SettingsFile.h"

#include "base/TextFormat.h"

#include <cstdio>

namespace {

// What a field's value must look like and where a writable one goes.
enum class Kind {
    Quad,     // read-only, four dotted bytes
    Unsigned, // read-only, an unsigned number up to max
    Digits,   // read-only, an unsigned 64-bit number (up to 20 digits)
    Writable, // kept: a number from min to max
    Pid,      // kept: ten numbers from 0 to 65535
};

struct FieldRule {
    const char* name;
    Kind kind;
    long long min;
    long long max;
};

constexpr long long kU16 = 0xFFFF;
constexpr long long kU32 = 0xFFFFFFFFLL;

// In the order info prints them.
constexpr FieldRule kFields[] = {
    {"hardwareVersion", Kind::Quad, 0, 0},
    {"firmwareVersion", Kind::Quad, 0, 0},
    {"gearRatio", Kind::Unsigned, 0, kU32},
    {"fullResolution", Kind::Unsigned, 0, kU32},
    {"siderealSpeed", Kind::Unsigned, 0, kU32},
    {"maxCurrent", Kind::Unsigned, 0, kU16},
    {"motorCurrent", Kind::Writable, 0, kU16},
    {"param128", Kind::Writable, SettingsFile::kMinParam128, SettingsFile::kMaxParam128},
    {"encoderBits", Kind::Unsigned, 0, kU32},
    {"encoderResolution", Kind::Digits, 0, 0},
    {"encoderFlags", Kind::Writable, 0, 0xFF},
    // info prints the offset signed; the drive information dialog shows it unsigned: both are taken.
    {"encoderOffset", Kind::Writable, -2147483648LL, kU32},
    {"encoderCalibAux", Kind::Unsigned, 0, kU32},
    {"recordLength", Kind::Unsigned, 0, kU32},
    {"maxBlockBytes", Kind::Unsigned, 0, kU32},
    {"blockRecords", Kind::Unsigned, 0, kU32},
    {"pidParameters", Kind::Pid, 0, kU16},
    {"auxMode", Kind::Writable, 0, SettingsFile::kMaxAuxMode},
    {"auxSkip", Kind::Writable, 0, kU16},
    {"auxErrorLimit", Kind::Writable, 0, kU32},
    {"auxAccelLimit", Kind::Writable, 0, kU32},
    {"auxSpeedLimit", Kind::Writable, 0, kU32},
};

const FieldRule* findField(const std::string& name) {
    for (const FieldRule& f : kFields) {
        if (name == f.name)
            return &f;
    }
    return nullptr;
}

// A whole decimal number: an optional minus sign (when min < 0) and 1..19 digits, nothing else.
bool parseNumber(const std::string& text, long long min, long long max, long long& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-' && min < 0) {
        negative = true;
        ++i;
    }
    if (i == text.size() || text.size() - i > 19)
        return false;
    unsigned long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (v > 0x7FFFFFFFFFFFFFFFULL)
        return false;
    const long long value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    if (value < min || value > max)
        return false;
    out = value;
    return true;
}

bool parseQuad(const std::string& text) {
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t end = part < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos)
            return false;
        long long byte = 0;
        if (!parseNumber(text.substr(start, end - start), 0, 255, byte))
            return false;
        start = end + 1;
    }
    return true;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lineText(int number) {
    return "line " + std::to_string(number) + ": ";
}

std::string rangeText(long long min, long long max) {
    return "a number from " + std::to_string(min) + " to " + std::to_string(max);
}

void appendLine(std::string& out, const char* name, const std::string& value) {
    out += name;
    out += ": ";
    out += value;
    out += '\n';
}

std::string quadText(uint32_t value) {
    char quad[32];
    appendDottedQuad(quad, sizeof quad, 0, value);
    return quad;
}

} // namespace

std::string SettingsFile::format(const DeviceInfo& d) {
    std::string out;
    const auto u = [](unsigned long long v) { return std::to_string(v); };
    appendLine(out, "hardwareVersion", quadText(d.hardwareVersion));
    appendLine(out, "firmwareVersion", quadText(d.firmwareVersion));
    appendLine(out, "gearRatio", u(d.gearRatio));
    appendLine(out, "fullResolution", u(d.fullResolution));
    appendLine(out, "siderealSpeed", u(d.siderealSpeed));
    appendLine(out, "maxCurrent", u(d.maxCurrent));
    appendLine(out, "motorCurrent", u(d.motorCurrent));
    appendLine(out, "param128", std::to_string(static_cast<int>(d.param128)));
    appendLine(out, "encoderBits", u(d.encoderBits));
    appendLine(out, "encoderResolution", u(d.encoderResolution));
    appendLine(out, "encoderFlags", u(d.encoderFlags));
    appendLine(out, "encoderOffset", std::to_string(static_cast<int32_t>(d.encoderOffset)));
    appendLine(out, "encoderCalibAux", u(d.encoderCalibAux));
    appendLine(out, "recordLength", u(d.recordLength));
    appendLine(out, "maxBlockBytes", u(d.maxBlockBytes));
    appendLine(out, "blockRecords", u(d.blockRecords));
    out += "pidParameters:";
    for (uint32_t v : d.pidParameters) {
        out += ' ';
        out += u(v);
    }
    out += '\n';
    appendLine(out, "auxMode", u(d.auxMode));
    appendLine(out, "auxSkip", u(d.auxSkip));
    appendLine(out, "auxErrorLimit", u(d.auxErrorLimit));
    appendLine(out, "auxAccelLimit", u(d.auxAccelLimit));
    appendLine(out, "auxSpeedLimit", u(d.auxSpeedLimit));
    return out;
}

std::string SettingsFile::header(const char* program, const char* version, const std::tm& date) {
    char when[32];
    if (std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &date) == 0)
        when[0] = '\0';
    return std::string("# ") + (program ? program : "") + " " + (version ? version : "") +
           " controller settings, " + when + "\n";
}

bool SettingsFile::parse(const std::string& text, std::string& error) {
    values_ = ControllerSettings{};
    maxCurrent_ = 0;
    maxCurrentLine_ = 0;
    motorCurrentLine_ = 0;
    seen_.clear();
    seenLines_.clear();
    error.clear();

    // Editors on Windows may put a UTF-8 byte-order mark before the first line.
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        if (!parseLine(text.substr(start, end - start), number, error))
            return false;
        start = end + 1;
    }
    for (const FieldRule& f : kFields) {
        if (f.kind != Kind::Writable && f.kind != Kind::Pid)
            continue;
        bool found = false;
        for (const std::string& name : seen_)
            found = found || name == f.name;
        if (!found) {
            error = std::string("the file has no ") + f.name + " line";
            return false;
        }
    }
    if (maxCurrent_ != 0 && values_.motorCurrent > maxCurrent_) {
        error = lineText(motorCurrentLine_) + "motorCurrent: " + std::to_string(values_.motorCurrent) +
                " is above maxCurrent " + std::to_string(maxCurrent_) + " (line " +
                std::to_string(maxCurrentLine_) + ")";
        return false;
    }
    return true;
}

bool SettingsFile::parseLine(const std::string& raw, int number, std::string& error) {
    const std::string line = trimmed(raw);
    if (line.empty() || line[0] == '#')
        return true;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
        error = lineText(number) + "expected 'name: value'";
        return false;
    }
    const std::string name = trimmed(line.substr(0, colon));
    const std::string value = trimmed(line.substr(colon + 1));
    const FieldRule* field = findField(name);
    if (field == nullptr) {
        error = lineText(number) + "unknown setting '" + name + "'";
        return false;
    }
    for (std::size_t i = 0; i < seen_.size(); ++i) {
        if (seen_[i] == name) {
            error = lineText(number) + name + " is given twice (first on line " +
                    std::to_string(seenLines_[i]) + ")";
            return false;
        }
    }
    seen_.push_back(name);
    seenLines_.push_back(number);

    const std::string prefix = lineText(number) + name + ": ";
    long long v = 0;
    switch (field->kind) {
    case Kind::Quad:
        if (!parseQuad(value)) {
            error = prefix + "'" + value + "' is not four numbers from 0 to 255 joined by dots";
            return false;
        }
        return true;
    case Kind::Digits:
        if (value.empty() || value.size() > 20 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            error = prefix + "'" + value + "' is not a whole number";
            return false;
        }
        return true;
    case Kind::Pid: {
        std::size_t at = 0;
        int count = 0;
        while (at < value.size()) {
            const std::size_t next = value.find_first_of(" \t", at);
            const std::string item =
                value.substr(at, next == std::string::npos ? std::string::npos : next - at);
            if (count == 10 || !parseNumber(item, 0, kU16, v)) {
                error = prefix + "expected ten numbers from 0 to 65535";
                return false;
            }
            values_.pidParameters[count++] = static_cast<uint16_t>(v);
            at = next == std::string::npos ? value.size() : value.find_first_not_of(" \t", next);
            if (at == std::string::npos)
                at = value.size();
        }
        if (count != 10) {
            error = prefix + "expected ten numbers from 0 to 65535";
            return false;
        }
        return true;
    }
    case Kind::Unsigned:
    case Kind::Writable:
        if (!parseNumber(value, field->min, field->max, v)) {
            error = prefix + "'" + value + "' is not " + rangeText(field->min, field->max);
            return false;
        }
        break;
    }

    if (name == "maxCurrent") {
        maxCurrent_ = static_cast<uint32_t>(v);
        maxCurrentLine_ = number;
    } else if (name == "motorCurrent") {
        values_.motorCurrent = static_cast<uint16_t>(v);
        motorCurrentLine_ = number;
    } else if (name == "param128") {
        values_.param128 = static_cast<int8_t>(v);
    } else if (name == "encoderFlags") {
        values_.encoderFlags = static_cast<uint8_t>(v);
    } else if (name == "encoderOffset") {
        values_.encoderOffset = static_cast<int32_t>(static_cast<uint32_t>(v));
    } else if (name == "auxMode") {
        values_.auxMode = static_cast<uint8_t>(v);
    } else if (name == "auxSkip") {
        values_.auxSkip = static_cast<uint16_t>(v);
    } else if (name == "auxErrorLimit") {
        values_.auxErrorLimit = static_cast<uint32_t>(v);
    } else if (name == "auxAccelLimit") {
        values_.auxAccelLimit = static_cast<uint32_t>(v);
    } else if (name == "auxSpeedLimit") {
        values_.auxSpeedLimit = static_cast<uint32_t>(v);
    }
    return true;
}

bool SettingsFile::checkAgainst(const DeviceInfo& controller, std::string& error) const {
    if (controller.maxCurrent != 0 && values_.motorCurrent > controller.maxCurrent) {
        error = lineText(motorCurrentLine_) + "motorCurrent: " + std::to_string(values_.motorCurrent) +
                " is above the controller's maxCurrent " + std::to_string(controller.maxCurrent);
        return false;
    }
    return true;
}
