#pragma once

#include "ui/common/TemplateDialog.h"

#include <cstdint>

class QComboBox;
class QLabel;

// Asks what a data.dat export does not say: the encoder width (1..64 bits) and the sample period, one of
// the log rates or unknown. Opens with what the caller knows (the connected controller's width, the log
// rate setting). Ok with a width that is not a number in range says so and stays open. exec() returns 1
// for Ok, 0 for Cancel. UI thread.
class DatLogDialog : public TemplateDialog {
    Q_OBJECT
public:
    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdCancel = 2,
        IdEncoderBits = 100,
        IdSamplePeriod = 101,
        IdQuestion = 1000,
        IdEncoderBitsLabel = 1001,
        IdBitsUnit = 1002,
        IdSamplePeriodLabel = 1003,
        IdProblem = 1004,
    };
    static constexpr int kUnknownPeriod = 6; // the choice after the six log rates

    // encoderBits 0: none known. logRateIndex 0..5, anything else: unknown.
    DatLogDialog(QWidget* owner, const QString& fileName, uint32_t encoderBits, int logRateIndex);

    bool command(int id) override;

    // After Ok: the width, and the period in seconds (0 when unknown).
    uint32_t encoderBits() const { return encoderBits_; }
    double sampleSeconds() const { return sampleSeconds_; }
    // Choice 0..5 for the log rates, kUnknownPeriod for unknown.
    void choosePeriod(int index);

private:
    QComboBox* period_;
    QLabel* problem_;
    uint32_t encoderBits_ = 0;
    double sampleSeconds_ = 0.0;
};
