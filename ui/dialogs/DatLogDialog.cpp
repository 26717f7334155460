#include "ui/dialogs/DatLogDialog.h"

#include "model/analysis/PeAnalysis.h"

#include <QComboBox>
#include <QLabel>

namespace {

const char* const kPeriodTexts[DatLogDialog::kUnknownPeriod + 1] = {
    "4 s (1/4 Hz)",       "1 s (1 Hz)",           "0.25 s (4 Hz)", "0.0625 s (16 Hz)",
    "0.015625 s (64 Hz)", "0.0078125 s (128 Hz)", "Unknown"};

constexpr uint32_t kMaxEncoderBits = 64;

} // namespace

DatLogDialog::DatLogDialog(QWidget* owner, const QString& fileName, uint32_t encoderBits, int logRateIndex)
    : TemplateDialog(owner, QStringLiteral("Open data.dat export"), 220, 102) {
    addWrappedStatic(
        IdQuestion,
        QStringLiteral("A data.dat export does not say how it was logged. Give the encoder width "
                       "and the sample period of %1:")
            .arg(fileName),
        6, 6, 208, 26);
    addStatic(IdEncoderBitsLabel, QStringLiteral("Encoder width:"), 6, 38, 58, 10, Qt::AlignRight);
    addEdit(IdEncoderBits, 68, 36, 30, 12);
    addStatic(IdBitsUnit, QStringLiteral("bits"), 102, 38, 24, 10, Qt::AlignLeft);
    addStatic(IdSamplePeriodLabel, QStringLiteral("Sample period:"), 6, 54, 58, 10, Qt::AlignRight);
    period_ = new QComboBox(this);
    period_->setObjectName(QString::number(IdSamplePeriod));
    period_->setGeometry(units().rect(68, 52, 100, 13));
    for (const char* text : kPeriodTexts)
        period_->addItem(QString::fromLatin1(text));
    problem_ = addStatic(IdProblem, QString(), 6, 70, 208, 10, Qt::AlignLeft);
    addButton(IdOk, QStringLiteral("Ok"), 98, 82, 56, 16);
    addButton(IdCancel, QStringLiteral("Cancel"), 158, 82, 56, 16);

    if (encoderBits >= 1 && encoderBits <= kMaxEncoderBits)
        setEditText(IdEncoderBits, QString::number(encoderBits));
    choosePeriod(logRateIndex >= 0 && logRateIndex < kUnknownPeriod ? logRateIndex : kUnknownPeriod);
}

void DatLogDialog::choosePeriod(int index) {
    if (index >= 0 && index <= kUnknownPeriod)
        period_->setCurrentIndex(index);
}

bool DatLogDialog::command(int id) {
    switch (id) {
    case IdOk: {
        bool ok = false;
        const uint32_t bits = editText(IdEncoderBits).trimmed().toUInt(&ok);
        if (!ok || bits < 1 || bits > kMaxEncoderBits) {
            problem_->setText(QStringLiteral("The encoder width is a whole number from 1 to 64."));
            control(IdEncoderBits)->setFocus();
            return true;
        }
        encoderBits_ = bits;
        const double rateHz = peLogRateHz(period_->currentIndex());
        sampleSeconds_ = rateHz > 0.0 ? 1.0 / rateHz : 0.0;
        done(1);
        return true;
    }
    case IdCancel:
        done(0);
        return true;
    default:
        return false;
    }
}
