#!/usr/bin/env python3
"""Writes the small seed corpora in tools/fuzz/corpus/<target>/ in each fuzzer's input format.

Run it again after changing an input format: tools/fuzz/make-seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def le16(v):
    return struct.pack('<H', v & 0xFFFF)


def le32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(bytes(data))


# ---- event assembler: raw event-pipe bytes ----
def event(kind, payload):
    n = len(payload)
    return bytes([0x80 | kind << 5 | n]) + bytes(payload) if n else bytes([0x80 | kind << 5, 0])


write('event_assembler', 'commands', event(0, [2, 3]) + event(0, [5, 3, 2]) + event(1, []) + event(0, [3]))
write('event_assembler', 'serial', event(3, b'U\x05\x01\x00\x00\x00\x00') + event(3, list(range(31))))
write('event_assembler', 'stray', b'\x01\x02' + event(1, []) + b'\x7f' + event(2, [7]) + b'\xa3\x01')
write('event_assembler', 'fault', bytes([0xC1, 1]) + event(1, []) + bytes([0xFF]) + bytes(31))


# ---- session: operations (see session_fuzzer.cpp) ----
def serial(data):
    out = b''
    for at in range(0, len(data), 31):
        chunk = data[at:at + 31]
        out += bytes([0, len(chunk) - 1]) + chunk
    return out


def tick(count=1):
    return bytes([3]) if count == 1 else bytes([4, count - 1])


def command(code, args=b''):
    return bytes([5, len(args), code - 2]) + bytes(args)


def connect(port):
    return bytes([6, port])


def handshake_replies(record_length=16, max_block=4096):
    pid = b'U\x15\x54' + b''.join(le16(v) for v in (80, 40, 120, 81, 41, 121, 20, 30, 65535, 7))
    return [
        b'U\x05\x01' + le32(0x01020304),
        b'U\x05\x02' + le32(0x00010203),
        b'U\x12\x03\x01' + le32(1) + le32(2) + le32(3) + le32(max_block),
        b'U\x05\x01\x00\x00\x00\x00',
        b'U\x0f\x14\x00\x00' + le32(720) + le32(51200) + le32(1000),
        b'U\x13\x15' + bytes(6) + le16(2000) + bytes(2) + le16(800) + bytes(5) + b'\x05',
        b'U\x05\x17\x00\x00\x18\x00',
        b'U\x0a\x7b\x81' + le32(0xFFFFFF9C) + le32(1234),
        b'U\x07\x52' + bytes([record_length, 4]) + le32(1024),
        pid,
        b'U\x13\x56\x03\x00' + le16(9) + bytes(2) + le32(1000) + le32(4000) + le32(0x80000000),
    ]


def block(records, record_length):
    data = bytes([83]) + b''.join(
        le32(i) + le32(1000 + i) + bytes(record_length - 8) for i in range(records))
    return b'R' + le16(len(data)) + data


hs = b''.join(serial(r) for r in handshake_replies())
write('session', 'handshake-log',
      connect(1) + hs + command(5, [3, 2]) + serial(b'U\x00') + tick(3) + serial(block(3, 16)) +
      command(14, [1]) + tick(3) + serial(block(2, 16)) + serial(b'U\x00') + command(6) +
      command(3))
write('session', 'test-mode',
      connect(0) + command(7) + command(5, [1, 2]) + command(7) + command(15, list(range(20))) +
      command(8, [1, 0x10, 0, 0, 0]) + command(3))
write('session', 'timeout', connect(1) + serial(handshake_replies()[0]) + tick(60) + connect(1) + tick(3))
write('session', 'fault', connect(1) + hs + bytes([7, 0, 0]) + bytes([7, 1, 5]) + connect(1))
write('session', 'commands',
      command(4) + command(9, [1]) + command(16, list(range(30))) + bytes([9]) + connect(1) + bytes([9]) +
      connect(1) + hs + command(4) + serial(b'U\x00') + command(12, [1, 2, 3]) + command(20))
write('session', 'long-records', connect(1) + b''.join(
    serial(r) for r in handshake_replies(record_length=64, max_block=9000)) + command(5, [1]) +
    serial(b'U\x00') + tick(3) + serial(b'R\x00\x09' + bytes([83]) + bytes(30)))


# ---- channel: record-length selector, then operations (see channel_fuzzer.cpp) ----
def raw(data):
    return bytes([0, len(data) - 1]) + bytes(data)


def record(data, last):
    return bytes([1 | (0x10 if last else 0), len(data)]) + bytes(data)


rec16 = le32(1) + le32(1000) + le32(1200) + le32(7)
write('channel', 'records', bytes([16]) + record(rec16, False) + record(rec16, True) + bytes([2]) +
      record(b'', True) + bytes([2]))
write('channel', 'raw', bytes([8]) + raw(b'\x01\x02\x88' + le32(5) + le32(-42) + b'\xc0\x7f') + bytes([2]))
write('channel', 'geometry', bytes([0]) + record(rec16, True) + bytes([3, 16, 24]) + record(rec16, True) +
      bytes([2, 4]) + raw(b'\xd0' + rec16[:7]) + bytes([2]) + raw(rec16[7:]) + bytes([2, 5, 10, 14, 0, 0, 0]))
write('channel', 'straddle', bytes([63]) + b''.join(record(bytes(range(63)), i % 4 == 3) for i in range(70)) +
      bytes([2]))


# ---- store: record-length selector, then operations (see store_fuzzer.cpp) ----
def append(data, last, null=False):
    return bytes([(0x10 if last else 0) | (0x20 if null else 0), len(data)]) + bytes(data)


write('store', 'sixteen', bytes([16]) + append(rec16, False) + append(rec16, True) + bytes([4]) + le32(0) +
      bytes([5]))
write('store', 'eight', bytes([8]) + append(le32(100) + le32(-42), True) + append(b'', True, True) +
      bytes([4]) + le32(3))
write('store', 'short-long', bytes([12]) + append(b'\x01\x02\x03', True) + append(bytes(range(40)), True) +
      bytes([2, 4]) + append(b'\xff' * 9, True) + bytes([3, 4]) + le32(0xFFFFFFFF))
write('store', 'fill', bytes([0xF8]) + le32(40000) + bytes([1, 0xF0, 8]) + le32(0) + le32(1) +
      bytes([4]) + le32(0))
write('store', 'limits', bytes([8, 6, 2, 1]) + append(le32(1) + le32(2), False) +
      append(le32(3) + le32(4), False) + append(le32(5) + le32(6), True) + bytes([4]) + le32(0) +
      bytes([1, 0x10, 16]) + rec16)


# ---- log readers: encoder-bits, section and sample-period bytes, then the file (see log_reader_fuzzer.cpp) ----
def log_seed(bits, section, period, text):
    return bytes([bits, section, period]) + text.encode()


write('dat_log', 'sixteen', log_seed(24, 0, 4, '[N:0 TS:5] 1000 1200 7\r\n[N:1 TS:6] 1010 1200 7\r\n'
                                               '[N:2 TS:7] 1020 1200 7\r\n'))
write('dat_log', 'wrap-and-junk', log_seed(12, 0, 0, ''.join('[N:%d TS:%d] %d\r\n' % (i, i, (4090 + 3 * i) % 4096)
                                                              for i in range(40)) + 'junk\r\n[N:9 TS:x] 5\r\n[N:41'))
write('dat_log', 'no-bits', log_seed(0, 0, 0, '[N:0 TS:5] 1\r\n'))
write('csv_log', 'written', log_seed(0, 0, 0, '# astrelvo log 1\r\n# encoder_bits: 24\r\n# sample_seconds: 0.25\r\n'
                                               '# started: 2024-05-01T21:03:05Z\r\n# port: virtual\r\n'
                                               'sample,timestamp,value_counts,value_arcsec\r\n' +
                                               ''.join('%d,%d,%d,%.6f\r\n' % (i, i, (i * 37) % 500 - 250,
                                                                             ((i * 37) % 500 - 250) * 0.0772)
                                                       for i in range(64)) + '# mark: 10 worm\r\n'))
write('csv_log', 'arcsec-marks', log_seed(0, 0, 16, '# other tool\nsample,timestamp,value_counts,value_arcsec,x\n'
                                                     '# mark: 1 a\n0,0,0,1.5,9\n1,0,0,-2.5\n5,0,0,nan\n7,1,1,3e9\n'
                                                     '# mark: 3\n# encoder_bits: 24\n'))
write('csv_log', 'version', log_seed(24, 0, 0, '# astrelvo log 2\nsample,timestamp,value_counts,value_arcsec\n'))


def phd2_section(frames, xrate=True, scale='2.00'):
    text = 'Guiding Begins at 2023-03-01 20:05:00\nPixel scale = %s arc-sec/px, Binning = 1\n' % scale
    text += 'Mount = M, connected, xAngle = 10.0, xRate = 5.000, yRate = 5.0,\n' if xrate else 'Mount = M,\n'
    text += ('Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,DECGuideDistance,RADuration,'
             'RADirection,DECDuration,DECDirection,XStep,YStep,StarMass,SNR,ErrorCode\n')
    for k in range(1, frames + 1):
        if k == 5:
            text += '%d,%.3f,"DROP",,,,,,,,,,,,,0,0.0,2,"Star lost, low SNR"\nINFO: SETTLING STATE CHANGE\n' % (
                k, 2.0 * k)
            continue
        raw = ((k * 7) % 11 - 5) / 10.0
        text += '%d,%.3f,"Mount",0.1,0.2,%.3f,0.05,%.3f,0.00,%d,%s,0,,,,1234,25.1,0\n' % (
            k, 2.0 * k, raw, 0.7 * raw, abs(int(140 * raw)), 'W' if raw >= 0 else 'E')
    return text


write('phd2_log', 'two-sections', log_seed(0, 0, 0, 'PHD2 version 2.6.11, Log version 2.5.\n'
                                                      'Calibration Begins at 2023-03-01 20:01:00\n'
                                                      'Direction,Step,dx,dy,x,y,Dist\nWest,1,0,0,1,1,0\n' +
                                                      phd2_section(24) + 'Guiding Ends at x\n' +
                                                      phd2_section(30, xrate=False)))
write('phd2_log', 'chosen', log_seed(0, 2, 0, phd2_section(6) + phd2_section(12) + 'Guiding Ends at y\n'))
write('phd2_log', 'reordered', log_seed(0, 0, 0, 'Guiding Begins at z\nPixel scale = 1.5 arc-sec/px\n'
                                                   'Mount = Mount, xRate = 10.0\n'
                                                   'mount,RADuration,Time,RAGuideDistance,RARawDistance\n'
                                                   '"Mount",100,1.0,0.5,0.25\n"Mount",200,2.0,-0.5,0.5\n'
                                                   'what\n"AO",0,3.0,0,-1\n"Mount",0,2.5,0,1\n'))
