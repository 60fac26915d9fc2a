#!/usr/bin/env python3
"""Reference computation of the lightshape curves in numpy.

The same formulas as the service's version 1.0 colour engine, written
straightforwardly: numpy vectorises where a formula is elementwise (the
distance from one point to every entry of the CCT table, the table itself),
plain Python loops where the computation walks the path kelvin by kelvin or
point by point. Every quantity the engine keeps in single precision is a
numpy float32 here, constants included, so that the curve bytes can be
compared exactly.

Reads a JSON array of cases on standard input, each an object with "name",
"strategy" ("tw" or "wd"), "optimization" ("constant" or "maximize"),
"cct_min", "cct_max", "cct_1", "cct_2", "lumens_1", "lumens_2",
"lumens_max", optionally "dali_device_type_8" (tunable white only), and
"repeat" (timed runs). Writes a JSON array with, per case,
"name", "status" (0 or the engine's error number), "points", "curve1",
"curve2", "profile" and "seconds" (the fastest run; the CCT table is built
once before any run, as the service builds it once per process).

A case with "version" "1.1" or "1.3" is computed by
lightshape_modelled_reference.py instead; its keys are the inputs of the
library ("strategy", "optimization_strategy" (optional), "current_cs1",
"current_cs2", "cct_min", "cct_max", "cct_1", "cct_2", "lumens_1",
"lumens_2", "lumens_max", "vf1", "vf2", "vsupply", "dali_device_type_8",
for "1.3" optionally "led_current_1" and "led_current_2"), and its result
has for "1.3" also "cct" and "ptot", the colour temperature and the total
power of each point.

Run by bench/lightshape_bench (see bench/README.md) under Debian's python3
with python3-numpy.
"""

import json
import math
import sys
import time

import numpy as np

import lightshape_modelled_reference as modelled

f32 = np.float32

BIN_CCT = [1800, 2000, 2200, 2500, 2700, 3000, 3500, 4000, 4500, 5000, 5700, 6500]

WARMDIMMING = np.array([
    0.0000, 0.0297, 0.0516, 0.0699, 0.0859, 0.1003, 0.1135, 0.1258, 0.1373, 0.1482, 0.1585, 0.1683, 0.1778, 0.1869, 0.1956, 0.2041,
    0.2123, 0.2202, 0.2280, 0.2355, 0.2429, 0.2501, 0.2571, 0.2639, 0.2706, 0.2772, 0.2837, 0.2900, 0.2962, 0.3024, 0.3084, 0.3143,
    0.3201, 0.3259, 0.3315, 0.3371, 0.3426, 0.3480, 0.3534, 0.3586, 0.3639, 0.3690, 0.3741, 0.3791, 0.3841, 0.3890, 0.3939, 0.3987,
    0.4035, 0.4082, 0.4129, 0.4175, 0.4221, 0.4266, 0.4311, 0.4355, 0.4399, 0.4443, 0.4487, 0.4530, 0.4572, 0.4615, 0.4656, 0.4698,
    0.4739, 0.4780, 0.4821, 0.4861, 0.4901, 0.4941, 0.4981, 0.5020, 0.5059, 0.5098, 0.5136, 0.5174, 0.5212, 0.5250, 0.5287, 0.5324,
    0.5361, 0.5398, 0.5434, 0.5471, 0.5507, 0.5543, 0.5578, 0.5614, 0.5649, 0.5684, 0.5719, 0.5754, 0.5788, 0.5822, 0.5856, 0.5890,
    0.5924, 0.5958, 0.5991, 0.6024, 0.6057, 0.6090, 0.6123, 0.6155, 0.6188, 0.6220, 0.6252, 0.6284, 0.6316, 0.6348, 0.6379, 0.6411,
    0.6442, 0.6473, 0.6504, 0.6535, 0.6566, 0.6596, 0.6627, 0.6657, 0.6687, 0.6717, 0.6747, 0.6777, 0.6807, 0.6836, 0.6866, 0.6895,
    0.6924, 0.6953, 0.6982, 0.7011, 0.7040, 0.7069, 0.7097, 0.7126, 0.7154, 0.7182, 0.7210, 0.7239, 0.7266, 0.7294, 0.7322, 0.7350,
    0.7377, 0.7405, 0.7432, 0.7459, 0.7487, 0.7514, 0.7541, 0.7568, 0.7594, 0.7621, 0.7648, 0.7674, 0.7701, 0.7727, 0.7754, 0.7780,
    0.7806, 0.7832, 0.7858, 0.7884, 0.7910, 0.7936, 0.7961, 0.7987, 0.8012, 0.8038, 0.8063, 0.8089, 0.8114, 0.8139, 0.8164, 0.8189,
    0.8214, 0.8239, 0.8264, 0.8288, 0.8313, 0.8338, 0.8362, 0.8387, 0.8411, 0.8435, 0.8460, 0.8484, 0.8508, 0.8532, 0.8556, 0.8580,
    0.8604, 0.8628, 0.8651, 0.8675, 0.8699, 0.8722, 0.8746, 0.8769, 0.8793, 0.8816, 0.8839, 0.8862, 0.8886, 0.8909, 0.8932, 0.8955,
    0.8978, 0.9001, 0.9023, 0.9046, 0.9069, 0.9092, 0.9114, 0.9137, 0.9159, 0.9182, 0.9204, 0.9226, 0.9249, 0.9271, 0.9293, 0.9315,
    0.9338, 0.9360, 0.9382, 0.9404, 0.9425, 0.9447, 0.9469, 0.9491, 0.9513, 0.9534, 0.9556, 0.9578, 0.9599, 0.9621, 0.9642, 0.9663,
    0.9685, 0.9706, 0.9727, 0.9749, 0.9770, 0.9791, 0.9812, 0.9833, 0.9854, 0.9875, 0.9896, 0.9917, 0.9938, 0.9959, 0.9979, 1.0000,
], dtype=np.float32)


def krystek_uv(T):
    """CIE 1960 (u, v) of the black-body line: T squared in single precision,
    the quotients in double, rounded to single. T may be an array."""
    t = np.asarray(T, dtype=np.float64)
    t32 = np.asarray(T, dtype=np.float32)
    t2 = (t32 * t32).astype(np.float64)
    u = (0.860117757 + 1.54118254e-4 * t + 1.28641212e-7 * t2) / (1.0 + 8.42420235e-4 * t + 7.08145163e-7 * t2)
    v = (0.317398726 + 4.22806245e-5 * t + 4.20481691e-8 * t2) / (1.0 - 2.89741816e-5 * t + 1.61456053e-7 * t2)
    return u.astype(np.float32), v.astype(np.float32)


TABLE_U, TABLE_V = krystek_uv(np.arange(1000, 15001))


def nearest_cct(u, v):
    """CCT of the table entry nearest to (u, v); the first one on ties."""
    du = TABLE_U - u
    dv = TABLE_V - v
    return 1000 + int(np.argmin(du * du + dv * dv))


def cct_to_xy(T):
    u, v = krystek_uv(T)
    d = f32(2) * u - f32(8) * v + f32(4)
    return f32(3) * u / d, f32(2) * v / d


def xy_to_uv(x, y):
    d = f32(-2) * x + f32(12) * y + f32(3)
    return f32(4) * x / d, f32(6) * y / d


def xy_to_uvprime(x, y):
    d = f32(-2) * x + f32(12) * y + f32(3)
    return f32(4) * x / d, f32(9) * y / d


def xyz_to_xy(XYZ):
    s = XYZ[0] + XYZ[1] + XYZ[2]
    return XYZ[0] / s, XYZ[1] / s


def uvprime_to_xyz(u, v, Y):
    d = f32(6) * u - f32(16) * v + f32(12)
    x = f32(9) * u / d
    y = f32(4) * v / d
    return [x * Y / y, Y, (f32(1) - x - y) * Y / y]


def cct_of_xyz(XYZ):
    return nearest_cct(*xy_to_uv(*xyz_to_xy(XYZ)))


def warmdimming_cct(p, lo, hi):
    if p <= lo:
        return lo
    if p >= hi:
        return hi
    f = f32((p - lo) * 255.0 / (hi - lo))
    i = int(f)
    t = WARMDIMMING[i] + (WARMDIMMING[i + 1] - WARMDIMMING[i]) * (f - f32(i))
    return int(t * f32(hi - lo) + f32(lo) + f32(0.5))


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def nearest_on_segment(px, py, x1, y1, x2, y2):
    if x1 != x2:
        m = (y2 - y1) / (x2 - x1)
        q = (y1 * x2 - x1 * y2) / (x2 - x1)
        x = ((py - q) * m + px) / (m * m + f32(1))
        x = min(max(x, min(x1, x2)), max(x1, x2))
        return x, q + m * x
    return x1, min(max(py, min(y1, y2)), max(y1, y2))


def level(value):
    """trunc(value) held within 0..255 (rounding leaves factors a hair below 0)."""
    return max(0, min(255, int(value)))


def curve_descriptor(n):
    quotient = 256 // (n - 1)
    k = int(math.log2(quotient)) if quotient else 0
    return (k & 0x1F) | 0x40


class Path:
    def __init__(self, case):
        self.strategy = {"wd": 0, "tw": 1 if case["optimization"] == "constant" else 2}[case["strategy"]]
        self.cct_min = case["cct_min"]
        self.cct_max = case["cct_max"]
        self.lumens_max = case["lumens_max"]
        self.dt8 = case.get("dali_device_type_8", False)
        bins = [next((b for b, c in enumerate(BIN_CCT) if c >= cct), 11) for cct in (case["cct_1"], case["cct_2"])]
        cct = [BIN_CCT[b] for b in bins]
        lumens = [case["lumens_1"], case["lumens_2"]]
        self.lumens = lumens
        if self.strategy == 0:
            self.cct_max = max(cct)
        warm = 0 if cct[0] < cct[1] else 1
        xyz = []
        for ch in range(2):
            x, y = cct_to_xy(cct[ch])
            Y = f32(lumens[ch])
            xyz.append([x * Y / y, Y, (f32(1) - x - y) * Y / y])
        self.W = xyz[warm]
        self.C = xyz[1 - warm]
        self.warm_is_curve1 = cct[0] < cct[1]

    def target(self, i):
        k = self.cct_min + i
        return warmdimming_cct(k, self.cct_min, self.cct_max) if self.strategy == 0 else k

    def raw_points(self):
        W, C = self.W, self.C
        y_min = min(W[1], C[1])
        uw = xy_to_uvprime(*xyz_to_xy(W))
        uc = xy_to_uvprime(*xyz_to_xy(C))
        a, b, c = dot(W, W), dot(W, C), dot(C, C)
        det = a * c - b * b
        self.R = self.cct_max - self.cct_min + 1
        self.fw = np.zeros(self.R, dtype=np.float32)
        self.fc = np.zeros(self.R, dtype=np.float32)
        largest = 0
        for i in range(self.R):
            T = self.target(i)
            pu, pv = xy_to_uvprime(*cct_to_xy(T))
            nu, nv = nearest_on_segment(pu, pv, uw[0], uw[1], uc[0], uc[1])
            XYZ = uvprime_to_xyz(nu, nv, y_min)
            largest = max(largest, abs(cct_of_xyz(XYZ) - T))
            r1, r2 = dot(W, XYZ), dot(C, XYZ)
            w = (c * r1 - b * r2) / det
            cw = (a * r2 - b * r1) / det
            m = f32(0)
            for value in (abs(w), abs(cw)):
                m = value if m < value else m
            if self.strategy == 2:
                w, cw = w / m, cw / m
                limit = f32(self.lumens_max)
            else:
                w = min(max(w, f32(0)), f32(1))
                cw = min(max(cw, f32(0)), f32(1))
                limit = f32(self.lumens_max)
                if self.strategy == 0:
                    limit = min(y_min, limit)
            total = W[1] * w + C[1] * cw
            if total > limit:
                scale = limit / total
                w, cw = w * scale, cw * scale
            self.fw[i], self.fc[i] = w, cw
        self.E = f32(largest)

    def process_points(self, N, warmdimming):
        R, W, C, fw, fc = self.R, self.W, self.C, self.fw, self.fc
        warm = [0] * N
        cool = [0] * N
        if warmdimming:
            ratio = C[1] / W[1]
            divisor = f32(1 << self.S)
        step = f32(R - 1) / f32(N - 1)
        q = f32(0)
        previous = 0
        largest = f32(0)
        for j in range(N):
            idx = min(int(q), R - 1)
            if warmdimming:
                warm[j] = level(fw[idx] * f32(255) * ratio / divisor + f32(0.5))
                cool[j] = level(fc[idx] * f32(255) * ratio + f32(0.5))
            else:
                warm[j] = level(fw[idx] * f32(255) + f32(0.5))
                cool[j] = level(fc[idx] * f32(255) + f32(0.5))
            if idx > 0:
                for r in range(previous, idx):
                    t = f32(r - previous) / f32(idx - previous)
                    wi = fw[previous] + (fw[idx] - fw[previous]) * t
                    ci = fc[previous] + (fc[idx] - fc[previous]) * t
                    XYZ = [wi * W[0] + ci * C[0], wi * W[1] + ci * C[1], wi * W[2] + ci * C[2]]
                    largest = max(largest, f32(abs(cct_of_xyz(XYZ) - self.target(r))))
            previous = idx
            q = q + step
        self.curves = (warm, cool) if self.warm_is_curve1 else (cool, warm)
        return largest

    def output_points(self):
        wd = self.strategy == 0
        tolerance = int((self.E + f32(5)) / f32(10))
        if wd:
            tolerance = max(tolerance, 4)
        limit = self.E + f32(tolerance)
        N = 65
        error = self.process_points(N, False)
        while f32(int(error)) > limit and N <= 128:
            N = 2 * N - 1
            error = self.process_points(N, False)
        self.N = N
        self.S = 0
        if not wd:
            return 0
        # F: elementwise over the raw points, then the largest.
        F = np.max(np.arange(1, self.R + 1, dtype=np.float32) / f32(self.R) * self.fw)
        ratio = self.C[1] / self.W[1]
        if not (F <= 0 or ratio <= f32(1) / F):
            return 9
        r = int(ratio)
        while r > 1:
            r >>= 1
            self.S += 1
        if ratio - f32(1 << self.S) > f32(0.00001):
            self.S += 1
        error = self.process_points(N, True)
        return 10 if f32(int(error)) > limit else 0

    def descriptor(self):
        if self.strategy != 0 and self.dt8:
            return [32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26]
        if self.strategy != 0:
            return [32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26]
        l1, l2 = self.lumens
        w1 = self.S * 16 + 9 if l1 < l2 else 9
        w2 = self.S * 16 + 11 if l1 >= l2 else 11
        return [32, 2, 168, 146, w1, 8, 128, 128, 8, 161, 24, 177, 184, 178, w2, 24]


def compute(case):
    path = Path(case)
    path.raw_points()
    status = path.output_points()
    curve1, curve2 = path.curves
    profile = path.descriptor()
    for curve in (curve1, curve2):
        profile += [curve_descriptor(len(curve))] + curve
    return status, path.N, curve1, curve2, profile + [255]


def run_modelled(case):
    best = None
    for _ in range(max(1, case.get("repeat", 1))):
        start = time.perf_counter()
        result = modelled.compute(case)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    result.update({"name": case["name"], "status": 0, "points": len(result["curve1"]), "seconds": best})
    return result


def main():
    results = []
    for case in json.load(sys.stdin):
        if case.get("version", "1.0") != "1.0":
            results.append(run_modelled(case))
            continue
        best = None
        for _ in range(max(1, case.get("repeat", 1))):
            start = time.perf_counter()
            status, points, curve1, curve2, profile = compute(case)
            elapsed = time.perf_counter() - start
            best = elapsed if best is None else min(best, elapsed)
        results.append({"name": case["name"], "status": status, "points": points, "curve1": curve1,
                        "curve2": curve2, "profile": profile, "seconds": best})
    json.dump(results, sys.stdout)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
