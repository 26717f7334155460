#!/usr/bin/env python3
"""The yardstick for `astrelvo-cli analyze` on a whole night: what a short pandas + numpy script does with
the same Astrelvo CSV log (read_csv, a straight drift line by polyfit, the strongest FFT peak). It does less
than analyze (no harmonics fitted, no folding). Used only to measure beside it (docs/PERFORMANCE.md);
pandas and numpy are not build dependencies.

usage: pandas_night.py night.csv
"""
import sys

import numpy as np
import pandas as pd


def main(path):
    frame = pd.read_csv(path, comment="#")
    values = frame["value_arcsec"].to_numpy()
    t = np.arange(values.size)
    slope, offset = np.polyfit(t, values, 1)
    detrended = values - (slope * t + offset)
    spectrum = np.abs(np.fft.rfft(detrended * np.hanning(values.size)))
    peak = 1 + int(np.argmax(spectrum[1:]))
    sample_seconds = 1.0 / 128.0
    print(f"samples: {values.size}")
    print(f"pe_peak_to_peak_arcsec: {detrended.max() - detrended.min():.3f}")
    print(f"pe_rms_arcsec: {detrended.std():.3f}")
    print(f"dominant_period_seconds: {values.size / peak * sample_seconds:.2f}")


if __name__ == "__main__":
    main(sys.argv[1])
