"""Reference computation of the version 1.1 and 1.3 lightshape curves in numpy.

The same formulas as the service's version 1.1 and 1.3 colour engines, written
as a plain port: every quantity the engines keep in single precision is a
numpy float32 (operands converted explicitly, since numpy 1.x widens a
float32 combined with a Python number), every double-precision step is a
Python float, and the single-precision powf, expf and logf come from the C
library through ctypes, as the engines call them. numpy vectorises the search
of the driver's hybrid region (the 1000 levels 100, 99.9, ... are one array);
the 65 points and the 200 passes of the closed loop are Python loops.

Used by lightshape_reference.py for cases whose "version" is "1.1" or "1.3";
see its docstring for the keys.
"""

import ctypes
import math

import numpy as np

F = np.float32
np.seterr(all="ignore")

_libm = ctypes.CDLL("libm.so.6")
for _name in ("powf", "expf", "logf"):
    getattr(_libm, _name).restype = ctypes.c_float
_libm.powf.argtypes = (ctypes.c_float, ctypes.c_float)
_libm.expf.argtypes = (ctypes.c_float,)
_libm.logf.argtypes = (ctypes.c_float,)


def powf(a, b):
    return F(_libm.powf(float(a), float(b)))


def expf(a):
    return F(_libm.expf(float(a)))


def logf(a):
    return F(_libm.logf(float(a)))


def _hydra_levels():
    """100 lowered 1000 times by 0.1 in double, each result kept as float32."""
    levels = np.empty(1000, dtype=np.float32)
    level = F(100)
    for i in range(1000):
        level = F(float(level) - 0.1)
        levels[i] = level
    return levels


HYDRA_LEVELS = _hydra_levels()


def hydra_match(set_current, centre):
    """The last (lowest) level whose current lies within centre -1..+1 mA, or None."""
    currents = (HYDRA_LEVELS * F(set_current)).astype(np.float64) * 0.01
    hits = np.nonzero((currents >= centre - 1) & (currents <= centre + 1))[0]
    return HYDRA_LEVELS[hits[-1]] if len(hits) else None


def atoi(text):
    digits = ""
    for ch in text.strip():
        if ch.isdigit() or (not digits and ch in "+-"):
            digits += ch
        else:
            break
    return int(digits) if digits.strip("+-") else 0


def atof(text):
    return F(float(text))


def kim_xy(T):
    """Kim et al.'s cubic spline of the black-body line in double, x kept as float32."""
    t = float(T)
    if t <= 4000:
        x = -266124000.0 / t**3 - 234358.0 / (t * t) + 877.696 / t + 0.17991
    else:
        x = -3025850000.0 / t**3 + 2107040.0 / (t * t) + 222.635 / t + 0.24039
    xs = F(x)
    xf = float(xs)
    if t <= 2222:
        y = -1.1063814 * xf**3 - 1.3481102 * (xf * xf) + 2.18555832 * xf - 0.20219683
    elif t <= 4000:
        y = -0.9549476 * xf**3 - 1.37418593 * (xf * xf) + 2.09137015 * xf - 0.16748867
    else:
        y = 3.081758 * xf**3 - 5.8733867 * (xf * xf) + 3.75112997 * xf - 0.37001483
    return xs, F(y)


def library_xy(cct):
    """The library's chromaticity of an LED (double precision, 1667..25000 K)."""
    t = float(max(min(cct, 25000), 1667))
    if t <= 4000:
        x = -266124000.0 / t**3 - 234358.0 / (t * t) + 877.696 / t + 0.17991
    else:
        x = -3025850000.0 / t**3 + 2107040.0 / (t * t) + 222.635 / t + 0.24039
    if t <= 2222:
        y = -1.1063814 * x**3 - 1.3481102 * x * x + 2.18555832 * x - 0.20219683
    elif t <= 4000:
        y = -0.9549476 * x**3 - 1.37418593 * x * x + 2.09137015 * x - 0.16748867
    else:
        y = 3.081758 * x**3 - 5.8733867 * x * x + 3.75112997 * x - 0.37001483
    return "%.6g" % x, "%.6g" % y


def curve_byte(level):
    b = np.trunc(F(level) * F(255) / F(100))
    if math.isnan(b) or b < 0:
        return 0
    return 255 if b > 255 else int(b)


def invert(cm):
    c = cm
    det = (c[0][0] * c[1][1] * c[2][2] + c[1][0] * c[2][1] * c[0][2] + c[2][0] * c[0][1] * c[1][2]
           - c[0][2] * c[1][1] * c[2][0] - c[2][2] * c[1][0] * c[0][1] - c[0][0] * c[2][1] * c[1][2])
    M = [[c[1][1] * c[2][2] - c[2][1] * c[1][2], c[2][1] * c[0][2] - c[2][2] * c[0][1],
          c[0][1] * c[1][2] - c[1][1] * c[0][2]],
         [c[2][0] * c[1][2] - c[2][2] * c[1][0], c[0][0] * c[2][2] - c[0][2] * c[2][0],
          c[1][0] * c[0][2] - c[0][0] * c[1][2]],
         [c[1][0] * c[2][1] - c[1][1] * c[2][0], c[2][0] * c[0][1] - c[0][0] * c[2][1],
          c[0][0] * c[1][1] - c[1][0] * c[0][1]]]
    inv = F(1) / det
    return [[M[i][j] * inv for j in range(3)] for i in range(3)]


def led_row(x, y, F_):
    X = x / y * F_
    return [X, F_, X / x - X - F_]


def uv_prime(x, y):
    d = F(12) * y - F(2) * x + F(3)
    return F(4) * x / d, F(9) * y / d


def color_error(su, sv, u, v):
    du, dv = float(su - u), float(sv - v)
    return F(math.sqrt(du * du + dv * dv))


class Engine11:
    """The version 1.1 engine from its process-start state."""

    def __init__(self, argv):
        a = argv
        self.strategy = atoi(a[3])
        self.mode = atoi(a[4])
        self.lumen = F(atoi(a[2]))
        self.cur = [atoi(a[5 + c]) for c in range(4)]
        self.LY, self.Lx, self.Ly, self.DS, self.droop, self.VFo, self.dVFdI, self.HC = ([], [], [], [], [], [], [], [])
        for led in range(4):
            b = 9 + 8 * led
            self.LY.append(F(atoi(a[b])))
            self.Lx.append(atof(a[b + 1]))
            self.Ly.append(atof(a[b + 2]))
            self.DS.append(F(atoi(a[b + 3])))
            self.droop.append(atof(a[b + 4]))
            self.VFo.append(atof(a[b + 5]))
            self.dVFdI.append(atof(a[b + 6]))
            self.HC.append(atof(a[b + 7]))
        self.heatsink = atof(a[41])
        self.vsup = F(atoi(a[42]))
        self.corr = [atof(a[43 + c]) for c in range(4)]
        self.driver = atoi(a[47])
        self.nleds = [atoi(a[48 + c]) for c in range(4)]
        self.cct_max = atoi(a[52])
        self.cct_min = atoi(a[53])
        self.rth = [F(18)] * 4
        self.ta = F(28)
        self.CH = [F(1), F(1), F(0), F(0)]
        self.CHa = list(self.CH)
        self.VF = [F(3)] * 4
        self.Yc = [F(0)] * 4
        self.Power = [F(0)] * 4
        self.I = [F(0)] * 4
        self.cm = [[F(0)] * 3 for _ in range(3)]
        self.icm = [[F(0)] * 3 for _ in range(3)]
        self.RC = [F(0)] * 4
        self.diff = [F(0)] * 4
        self.ierror = [F(0)] * 4
        self.centre = [198 if c >= 200 else (150 if ch < 2 else 154) for ch, c in enumerate(self.cur)]
        self.hydra = [hydra_match(c, w) for c, w in zip(self.cur, self.centre)]
        self.xset = self.yset = F(0)
        self.intensity = F(0)
        self.Ymax = F(0)
        self.x = self.y = self.X = self.Y = self.Z = F(0)
        self.records = []

    def two(self):
        return self.strategy in (0, 5)

    def prelude(self):
        for c in range(4):
            cur = F(self.cur[c])
            self.I[c] = F(float(self.CH[c] / F(100) * cur) * 0.001)
            self.Power[c] = self.I[c] * self.VFo[c]
            self.Yc[c] = cur * self.LY[c] / self.DS[c]
        self.define_ymax()

    def define_ymax(self):
        if self.two():
            self.Ymax = self.Yc[0] if self.Yc[0] < self.Yc[1] else self.Yc[1]

    def fill(self, outputs):
        if not self.two():
            return
        for led in range(2):
            self.cm[led] = led_row(self.Lx[led], self.Ly[led], outputs[led])
        self.cm[2] = [F(1000), F(0), F(1000)]
        self.icm = invert(self.cm)

    def open_loop_matrix(self):
        self.fill([F(self.cur[i]) / self.DS[i] * self.LY[i] for i in range(2)])

    def target(self):
        self.Yset = self.intensity / F(100) * self.Ymax
        self.Xset = self.xset / self.yset * self.Yset
        self.Zset = self.Xset / self.xset - self.Xset - self.Yset

    def set_whitepoint(self):
        i = self.icm
        if self.two():
            self.CH[0] = (i[0][0] * self.Xset + i[1][0] * self.Yset + i[2][0] * self.Zset) * F(100)
            self.CH[1] = (i[0][1] * self.Xset + i[1][1] * self.Yset + i[2][1] * self.Zset) * F(100)
            self.CH[2] = self.CH[3] = F(0)
        self.CH = [v if v > 0 else F(0) for v in self.CH]

    def estimate_vf(self):
        falling = self.dVFdI[0] < 0
        for c in range(4):
            current = float(self.cur[c]) * 0.001 * float(self.CH[c]) / 100.0
            rise = float(self.dVFdI[c]) * current
            per_led = float(self.VFo[c] / F(self.nleds[c]))
            self.VF[c] = F(float(self.nleds[c]) * (per_led - rise if falling else per_led + rise))

    def learn_hydra(self):
        for c in range(4):
            e = (F(2) * self.VF[c] - self.vsup) * self.corr[c]
            level = self.hydra[c]
            if level is not None:
                ih = F(float(level) * (float(e) + float(self.cur[c])) * 0.01 - float(e))
                self.RC[c] = ih / level
                self.diff[c] = self.RC[c] / F(5)
            self.ierror[c] = e

    @staticmethod
    def limit(v):
        if v >= 100:
            return F(100)
        if v <= 0:
            return F(0)
        return v

    def driver_level(self, c, corrected):
        cur = F(self.cur[c])
        e = self.ierror[c]
        m = ((e + cur) / F(100) * self.CH[c] - e) / cur * F(100)
        if float(self.centre[c]) >= float(self.CH[c] * cur) * 0.01:
            if self.driver in (0, 1):
                if self.driver == 1:
                    self.RC[c] = self.RC[c] + self.diff[c] if corrected else self.RC[c] - self.diff[c]
                m = self.RC[c] * self.CH[c] / cur * F(100)
            elif self.driver == 2:
                m = F(float(self.CH[c]) * 1.0068 - 1.3834)
            elif self.driver == 3:
                m = self.CH[c]
        return m

    def model_driver(self):
        self.learn_hydra()
        for c in range(4):
            self.CHa[c] = self.limit(self.driver_level(c, False))

    def model_corrected_driver(self):
        self.estimate_vf()
        self.learn_hydra()
        for c in range(4):
            m = self.driver_level(c, True)
            self.CHa[c] = self.limit(F(2) * self.CH[c] - m)

    def model_led_data(self):
        for c in range(4):
            n = F(self.nleds[c])
            cur = F(self.cur[c])
            rise = float(n * self.dVFdI[c] * cur) * 0.001 * float(self.CH[c]) / 100.0
            vfm = F(float(n) * (float(self.VFo[c] / n) - rise))
            tj = F(float(self.heatsink) + float(vfm / n * (self.CHa[c] / F(100)) * self.rth[c] * cur) * 0.001)
            self.VF[c] = vfm
            tref = F(float(self.ta) + float(self.rth[c] * self.DS[c]) * 0.001 * float(self.VFo[c]) / np.float64(n))  # n is 0 for channels 3 and 4
            t = (tj - tref) / F(75)
            self.Yc[c] = self.LY[c] * powf(cur / self.DS[c], self.droop[c]) * expf(logf(self.HC[c]) * t)
            self.I[c] = F(float(self.CHa[c] / F(100) * cur) * 0.001)
            self.Power[c] = self.VF[c] * self.I[c]

    def actual_color(self):
        if self.two():
            a, cm = self.CHa, self.cm
            self.X = (a[0] * cm[0][0] + a[1] * cm[1][0]) / F(100)
            self.Y = (a[0] * cm[0][1] + a[1] * cm[1][1]) / F(100)
            self.Z = (a[0] * cm[0][2] + a[1] * cm[1][2]) / F(100)
        self.x = self.X / (self.X + self.Y + self.Z)
        self.y = self.Y / (self.X + self.Y + self.Z)

    def perfect_life(self):
        self.prelude()
        self.open_loop_matrix()
        self.target()
        self.set_whitepoint()
        self.CHa = list(self.CH)

    def open_loop(self):
        self.prelude()
        self.open_loop_matrix()
        self.target()
        self.set_whitepoint()
        self.model_driver()
        self.model_led_data()
        self.define_ymax()
        self.fill(list(self.Yc[:2]))
        self.CHa = list(self.CH)

    def feed_forward(self):
        self.prelude()
        self.target()
        self.open_loop_matrix()
        self.set_whitepoint()
        self.estimate_vf()
        self.model_corrected_driver()

    def run(self):
        self.perfect_life()
        self.intensity = self.lumen / self.Ymax * F(100)
        dI = self.intensity / F(65)
        step = F(float(self.cct_max - self.cct_min) * 0.015625)
        cct = self.cct_max
        modes = {0: self.perfect_life, 1: self.open_loop, 2: self.feed_forward}
        for i in range(1, 66):
            cct = min(max(cct, 1667), 25000)
            self.xset, self.yset = kim_xy(cct)
            if self.strategy == 5:
                self.intensity = self.intensity - dI
            if self.mode in modes:
                modes[self.mode]()
                self.actual_color()
            self.records.append((cct, list(self.CHa), self.x, self.y))
            cct = self.cct_max - int(F(i) * step)
        return self


class Engine13:
    """The version 1.3 engine from its process-start state."""

    def __init__(self, argv):
        a = argv
        self.cctset = atoi(a[1])
        self.lumen = F(atoi(a[2]))
        self.strategy = atoi(a[3])
        self.mode = atoi(a[4])
        self.cur = [atoi(a[5 + c]) for c in range(4)]
        self.LY, self.Lx, self.Ly, self.DS, self.VFo, self.dVFdI = ([], [], [], [], [], [])
        for led in range(4):
            b = 9 + 8 * led
            self.LY.append(F(atoi(a[b])))
            self.Lx.append(atof(a[b + 1]))
            self.Ly.append(atof(a[b + 2]))
            self.DS.append(F(atoi(a[b + 3])))
            self.VFo.append(atof(a[b + 5]))
            self.dVFdI.append(atof(a[b + 6]))
        self.vsup = F(atoi(a[42]))
        self.corr = [atof(a[43 + c]) for c in range(4)]
        self.driver = atoi(a[47])
        self.nleds = [atoi(a[48 + c]) for c in range(4)]
        self.cct_max = atoi(a[52])
        self.cct_min = atoi(a[53])
        self.CH = [F(100)] * 4
        self.CHa = [F(100)] * 4
        self.Power = [F(100)] * 4
        self.VF = [F(3)] * 4
        self.Yc = [F(0)] * 4
        self.I = [F(0)] * 4
        self.cm = [[F(0)] * 3 for _ in range(3)]
        self.icm = [[F(0)] * 3 for _ in range(3)]
        self.RC = [F(0)] * 4
        self.switch = [150 if 150 <= c <= 199 else 198 for c in self.cur]
        self.hydra = [hydra_match(c, s) for c, s in zip(self.cur, self.switch)]
        self.xset = self.yset = F(0)
        self.intensity = F(0)
        self.Ymax = F(0)
        self.X = self.Y = self.Z = self.x = self.y = F(0)
        self.cct_error = F(0)
        self.records = []

    def two(self):
        return self.strategy in (0, 5, 8, 12, 13)

    def simple_led_data(self):
        for c in range(4):
            cur = F(self.cur[c])
            self.I[c] = F(float(cur * (self.CHa[c] / F(100))) * 0.001) if self.CHa[c] > 0 else F(0)
            self.Power[c] = F(self.nleds[c]) * (self.I[c] * self.VFo[c])
            self.Yc[c] = cur * self.LY[c] / self.DS[c] if self.cur[c] > 0 else F(0)
            self.VF[c] = self.VFo[c]

    def define_ymax(self):
        if self.strategy in (0, 12, 13):
            self.Ymax = self.Yc[0] + self.Yc[1]
        elif self.strategy in (5, 8):
            self.Ymax = self.Yc[0] if self.Yc[0] <= self.Yc[1] else self.Yc[1]

    def fill(self):
        if not self.two():
            return
        for led in range(2):
            out = F(self.cur[led]) / self.DS[led] * self.LY[led] if self.mode == 0 else self.Yc[led]
            self.cm[led] = led_row(self.Lx[led], self.Ly[led], out)
        self.cm[2] = [F(1), F(0), F(1)]

    def target(self):
        self.Yset = F(float(self.Ymax) * (float(self.intensity) * 0.01))
        self.Xset = self.xset / self.yset * self.Yset
        self.Zset = self.Xset / self.xset - self.Xset - self.Yset

    def set_whitepoint(self):
        i = self.icm
        if self.two():
            self.CH[0] = (i[0][0] * self.Xset + i[1][0] * self.Yset + i[2][0] * self.Zset) * F(100)
            self.CH[1] = (i[0][1] * self.Xset + i[1][1] * self.Yset + i[2][1] * self.Zset) * F(100)
            self.CH[2] = self.CH[3] = F(0)
            if self.strategy == 5:
                if self.Lx[0] > self.xset and self.Lx[1] > self.xset:
                    self.CH[0] = self.CH[1] = F(100)
                elif self.xset > self.Lx[0] and self.xset > self.Lx[1]:
                    self.CH[0] = self.CH[1] = F(0)
        self.limits_ideal()

    def limits_ideal(self):
        for c in range(4):
            if self.CH[c] > 100:
                self.CH[c] = F(100)
            if self.CH[c] <= 0:
                self.CH[c] = F(0)
        self.CHa = list(self.CH)

    def limits_actual(self):
        for c in range(4):
            if self.CHa[c] >= 100:
                self.CHa[c] = F(100)
            if self.CHa[c] <= 0:
                self.CHa[c] = F(0)

    def clip_control(self):
        while any(v > 100 for v in self.CH) and self.intensity > 1.0:
            self.intensity = F(float(self.intensity) - 0.1)
            self.target()
            self.set_whitepoint()

    def default_sequence(self):
        self.simple_led_data()
        self.define_ymax()
        self.fill()
        self.icm = invert(self.cm)
        self.target()
        self.set_whitepoint()
        self.clip_control()

    def estimate_vf(self):
        self.dVFdI = [F(0) if self.mode == 0 else (-v if v < 0 else v) for v in self.dVFdI]
        for c in range(4):
            n = float(self.nleds[c])
            rise = float(self.dVFdI[c]) * float(self.cur[c]) * 0.001 * float(self.CH[c]) * 0.01
            self.VF[c] = F(n * (float(self.VFo[c]) / n + rise))
            cur = F(self.cur[c])
            self.I[c] = F(float(cur * (self.CHa[c] / F(100))) * 0.001) if self.CHa[c] > 0 else F(0)
            self.Power[c] = self.I[c] * self.VF[c]

    def model_corrected_driver(self):
        self.estimate_vf()
        errors = [(F(2) * self.VF[c] - self.vsup) * self.corr[c] for c in range(4)]
        for c in range(4):
            level = self.hydra[c]
            if level is not None:
                e = errors[c]
                ih = F(float(level) * ((float(e) + float(self.cur[c])) * 0.01) - float(e))
                self.RC[c] = ih / level
        delivered = []
        for c in range(4):
            iset = F(self.cur[c])
            e = errors[c]
            m = ((e + iset) / F(100) * self.CH[c] - e) / iset * F(100)
            if float(self.switch[c]) >= float(self.CH[c]) * float(iset) * 0.01 and self.driver == 0:
                m = self.RC[c] * self.CH[c] / iset * F(100)
            delivered.append(m)
        for c in range(4):
            self.CHa[c] = self.CH[c] - delivered[c] + self.CH[c]
        self.limits_actual()

    def measure(self):
        if self.two():
            a, cm = self.CHa, self.cm
            self.X = F(float(a[0] * cm[0][0] + a[1] * cm[1][0]) * 0.01)
            self.Y = F(float(a[0] * cm[0][1] + a[1] * cm[1][1]) * 0.01)
            self.Z = F(float(a[0] * cm[0][2] + a[1] * cm[1][2]) * 0.01)
        self.x = self.X / (self.Y + self.X + self.Z)
        self.y = self.Y / (self.Y + self.X + self.Z)
        n = F((float(self.x) - 0.332) / (0.1858 - float(self.y)))
        nd = float(n)
        derived = F(437.0 * nd**3 + 3601.0 * (nd * nd) + float(F(6861) * n) + 5517.0)
        self.cct_error = F(self.cctset) - derived if self.cctset >= 1901 else F(0)

    def deviation(self):
        self.measure()
        if self.strategy not in (5, 12, 13):
            return
        warm = 0 if self.Lx[0] > self.Lx[1] else 1
        cool = 1 - warm
        for _ in range(200):
            if self.cct_error > 10 and self.Lx[warm] >= self.xset:
                self.CH[warm] = F(float(self.CH[warm]) - 0.1)
                self.CH[cool] = F(float(self.CH[cool]) + 0.1)
            elif self.cct_error < -10 and self.Lx[warm] >= self.xset:
                self.CH[warm] = F(float(self.CH[warm]) + 0.1)
                self.CH[cool] = F(float(self.CH[cool]) - 0.1)
            if self.mode == 0:
                self.limits_ideal()
            elif self.mode == 2:
                self.model_corrected_driver()
            self.measure()

    def point(self):
        self.default_sequence()
        self.estimate_vf()
        if self.mode == 0:
            self.limits_ideal()
        else:
            self.model_corrected_driver()
        self.deviation()

    def run(self):
        self.default_sequence()
        self.estimate_vf()
        self.limits_ideal()
        self.deviation()
        self.intensity = self.lumen / self.Ymax * F(100)
        dI = self.intensity / F(65)
        mirek_path = self.strategy in (8, 10, 13)

        def rounded(v):
            fl = math.floor(v)
            return fl + 1 if v - fl >= 0.5 else fl

        mirek_max = F(rounded(1e6 / self.cct_max))
        mirek_min = F(rounded(1e6 / self.cct_min))
        mirek_step = (mirek_min - mirek_max) * F(0.015625)
        kelvin_step = F(float(self.cct_max - self.cct_min) * 0.015625)
        for i in range(1, 66):
            offset = F(i - 1)
            if mirek_path:
                mirek = np.trunc(mirek_max + np.trunc(offset * mirek_step))
                self.cctset = int(1e6 / float(mirek))
            else:
                self.cctset = self.cct_max - int(offset * kelvin_step)
            self.cctset = min(self.cctset, 25000)
            self.xset, self.yset = kim_xy(self.cctset)
            if self.strategy == 5:
                self.intensity = self.intensity - dI
            if self.mode in (0, 2):
                self.point()
            power = ((float(self.Power[0]) + float(self.Power[1])) + float(self.Power[2])) + float(self.Power[3])
            self.records.append((self.cctset, list(self.CHa), self.x, self.y, power))
        return self


STRATEGY_CODES = {"1.1": {"tw": "0", "wd": "5"}, "1.3": {"tw": "12", "twdt8": "13", "wd": "5"}}
MODE_CODES = {"perfect_life": "0", "open_loop": "1", "feed_forward": "2"}
TW = [32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26]
TW_DT8 = [32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26]
WD = [96, 2, 8, 8, 128, 176, 11, 129, 27, 145, 9, 24]


def argument_vector(case):
    """The engine's 54 argument texts, as the version's library builds them."""
    version = case["version"]
    dt8 = bool(case.get("dali_device_type_8", False))
    strategy = case["strategy"].lower()
    code = STRATEGY_CODES[version][strategy]
    if version == "1.3" and strategy == "tw" and dt8:
        code = "13"
    mode = MODE_CODES[case.get("optimization_strategy", "feed_forward").lower()]
    n = {k: str(case[k]) for k in ("current_cs1", "current_cs2", "cct_min", "cct_max", "lumens_max",
                                   "lumens_1", "lumens_2", "vf1", "vf2", "vsupply")}
    x1, y1 = library_xy(case["cct_1"])
    x2, y2 = library_xy(case["cct_2"])
    if version == "1.1":
        unused = ["0.000000", "0.600000", "0.260000", "350.000000", "1.018400", "0.000000", "0.050000", "0.552900"]
        return (["place_holder_for_executable_name", "4373", n["lumens_max"], code, mode, n["current_cs1"],
                 n["current_cs2"], "1", "1",
                 n["lumens_1"], x1, y1, n["current_cs1"], "0.996000", n["vf1"], "0.030000", "0.990000",
                 n["lumens_2"], x2, y2, n["current_cs2"], "0.996000", n["vf2"], "0.030000", "0.990000"]
                + unused + unused
                + ["51.063830", n["vsupply"], "2.380549", "2.524894", "2.524894", "2.524894", "0", "1", "1", "0",
                   "0", n["cct_max"], n["cct_min"]])
    led1 = str(case.get("led_current_1", case["current_cs1"]))
    led2 = str(case.get("led_current_2", case["current_cs2"]))
    unused = ["1200.000000", "0.313494", "0.323663", "700.000000", "0.400000", "30.000000", "-0.003100", "0.850000"]
    return (["place_holder_for_executable_name", "2700", n["lumens_max"], code, mode, n["current_cs1"],
             n["current_cs2"], "0", "1400",
             n["lumens_1"], x1, y1, led1, "0.400000", n["vf1"], "-0.003100", "0.850000",
             n["lumens_2"], x2, y2, led2, "0.400000", n["vf2"], "-0.003100", "0.850000"]
            + unused + unused
            + ["0.000000", n["vsupply"], "1.000000", "1.000000", "1.000000", "1.000000", "0", "1", "1", "1", "1",
               n["cct_max"], n["cct_min"]])


def curve_descriptor(n):
    quotient = 256 // (n - 1)
    return ((int(math.log2(quotient)) if quotient else 0) & 0x1F) | 0x40


def compute(case):
    """curve1, curve2, profile, and for version 1.3 the CCT and power of each point."""
    argv = argument_vector(case)
    engine = (Engine11 if case["version"] == "1.1" else Engine13)(argv).run()
    curves = [[curve_byte(r[1][ch]) for r in reversed(engine.records)] for ch in (0, 1)]
    strategy = case["strategy"].lower()
    dt8 = bool(case.get("dali_device_type_8", False))
    descriptor = WD if strategy == "wd" else (TW_DT8 if dt8 else TW)
    profile = list(descriptor)
    for curve in curves:
        profile += [curve_descriptor(len(curve))] + curve
    result = {"curve1": curves[0], "curve2": curves[1], "profile": profile + [255]}
    if case["version"] == "1.3":
        result["cct"] = [r[0] for r in engine.records]
        result["ptot"] = [r[4] for r in engine.records]
    return result
