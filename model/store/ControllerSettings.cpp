#include "model/store/ControllerSettings.h"

#include "engine/iEngineCommands.h"
#include "rz4/Rz4Protocol.h"

namespace {

std::string pidText(const uint16_t (&values)[10]) {
    std::string text;
    for (int i = 0; i < 10; ++i) {
        if (i > 0)
            text += ' ';
        text += std::to_string(values[i]);
    }
    return text;
}

} // namespace

ControllerSettings ControllerSettings::of(const DeviceInfo& info) {
    ControllerSettings v;
    for (int i = 0; i < 10; ++i)
        v.pidParameters[i] = static_cast<uint16_t>(info.pidParameters[i]);
    v.auxMode = info.auxMode;
    v.auxSkip = static_cast<uint16_t>(info.auxSkip);
    v.auxErrorLimit = info.auxErrorLimit;
    v.auxAccelLimit = info.auxAccelLimit;
    v.auxSpeedLimit = info.auxSpeedLimit;
    v.motorCurrent = info.motorCurrent;
    v.param128 = info.param128;
    v.encoderFlags = info.encoderFlags;
    v.encoderOffset = static_cast<int32_t>(info.encoderOffset);
    return v;
}

ControllerSettings ControllerSettings::sentTo(const DeviceInfo& controller) const {
    ControllerSettings v = *this;
    v.encoderFlags = static_cast<uint8_t>((controller.encoderFlags & ~1u) | (encoderFlags & 1u));
    return v;
}

bool ControllerSettings::apply(iEngineCommands& engine, const DeviceInfo& controller) const {
    const bool sendCurrent = sendsMotorCurrent(controller);
    engine.SendPid(pidParameters);
    engine.SendAux(auxMode, 0, auxSkip, 0, auxErrorLimit, auxAccelLimit, auxSpeedLimit, 0, 0, 0);
    if (sendCurrent)
        engine.WriteParam16(rz4::kParamMotorCurrent, motorCurrent);
    engine.WriteParam8(rz4::kParam128, static_cast<uint8_t>(param128));
    engine.SetEncoderCalibration(encoderFlags & 1u, static_cast<uint32_t>(encoderOffset));
    return sendCurrent;
}

std::vector<std::string> ControllerSettings::differences(const ControllerSettings& read,
                                                         bool motorCurrentSent) const {
    std::vector<std::string> out;
    const auto differ = [&out](const char* name, const std::string& w, const std::string& r) {
        if (w != r)
            out.push_back(std::string(name) + ": wrote " + w + ", read " + r);
    };
    const auto n = [](long long v) { return std::to_string(v); };
    differ("pidParameters", pidText(pidParameters), pidText(read.pidParameters));
    differ("auxMode", n(auxMode), n(read.auxMode));
    differ("auxSkip", n(auxSkip), n(read.auxSkip));
    differ("auxErrorLimit", n(auxErrorLimit), n(read.auxErrorLimit));
    differ("auxAccelLimit", n(auxAccelLimit), n(read.auxAccelLimit));
    differ("auxSpeedLimit", n(auxSpeedLimit), n(read.auxSpeedLimit));
    if (motorCurrentSent)
        differ("motorCurrent", n(motorCurrent), n(read.motorCurrent));
    differ("param128", n(param128), n(read.param128));
    differ("encoderFlags", n(encoderFlags), n(read.encoderFlags));
    differ("encoderOffset", n(encoderOffset), n(read.encoderOffset));
    return out;
}
