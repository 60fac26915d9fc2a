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
see its docstring for the keys. Both engines are ported whole, with every
strategy code and mode that they handle, not only those the libraries use:

    /usr/bin/python3 bench/lightshape_modelled_reference.py --engine-goldens

prints the argument vectors and expectations of
tests/service/lightshape/engine_branches_test.cpp (ENGINE_CASES below, the
knee-point smoothing and DoOptimizedModel of version 1.1).

Where the engines were made sound against their own formulas, so is this
port: a channel without LEDs has no string voltage (rather than 0 / 0), a
channel without set current delivers its level unchanged (rather than a
division by 0), and the knee-point walk never runs past its window.
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


def limit_nan_kept(v):
    """The driver's limits: 100 or more is full scale, 0 or less is off; a
    level that is not a number stays one (the library refuses it)."""
    if v >= 100:
        return F(100)
    if v <= 0:
        return F(0)
    return v


def bezier(t, p0, p1, p2):
    u = F(1) - t
    return u * u * p0 + F(2) * t * u * p1 + t * t * p2


class Engine11:
    """The version 1.1 engine from its process-start state: every strategy
    code (0..8) and mode (0..4, and DoOptimizedModel called directly)."""

    def __init__(self, argv):
        a = argv
        # Reset of every run, then the argument vector.
        self.cctset = atoi(a[1])
        self.lumen = F(atoi(a[2]))
        self.strategy = atoi(a[3])
        self.mode = atoi(a[4])
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
        self.Tj = [F(0)] * 4
        self.cm = [[F(0)] * 3 for _ in range(3)]  # cm[i]: column i + 1, (X, Y, Z) of its LED
        self.cm4 = [F(0)] * 3
        self.icm = [[F(0)] * 3 for _ in range(3)]
        self.RC = [F(0)] * 4
        self.diff = [F(0)] * 4
        self.ierror = [F(0)] * 4
        self.centre = [198 if c >= 200 else (150 if ch < 2 else 154) for ch, c in enumerate(self.cur)]
        self.hydra = [hydra_match(c, w) for c, w in zip(self.cur, self.centre)]
        self.xset = self.yset = F(0)
        self.Xset = self.Yset = self.Zset = F(0)
        self.intensity = F(0)
        self.Ymax = F(0)
        self.x = self.y = self.X = self.Y = self.Z = F(0)
        self.records = []

    # Colour solution.

    def prelude(self):
        for c in range(4):
            cur = F(self.cur[c])
            self.I[c] = F(float(self.CH[c] / F(100) * cur) * 0.001)
            self.Power[c] = self.I[c] * self.VFo[c]
            self.Yc[c] = cur * self.LY[c] / self.DS[c]
        self.define_ymax()

    def define_ymax(self):
        Y = self.Yc
        s = self.strategy
        if s in (0, 5, 8):
            self.Ymax = Y[0] if Y[0] < Y[1] else Y[1]
        elif s in (1, 2, 3, 4):
            m = Y[0]
            for v in Y[1:4 if s == 4 else 3]:
                if v < m:
                    m = v
            self.Ymax = m
        elif s == 6:
            m = Y[0]
            for v in Y[1:3]:
                if v > m:
                    m = v
            self.Ymax = m

    def led_output(self, i, compensated):
        return self.Yc[i] if compensated else F(self.cur[i]) / self.DS[i] * self.LY[i]

    def fill(self, compensated):
        """The colour matrix by strategy; the caller inverts it."""
        s = self.strategy
        col = lambda i: led_row(self.Lx[i], self.Ly[i], self.led_output(i, compensated))
        dummy = lambda X, Y, Z: [F(X), F(Y), F(Z)]
        if s in (0, 5, 8):
            self.cm = [col(0), col(1), dummy(1000, 0, 1000)]
        elif s in (2, 3):
            self.cm = [col(0), col(1), col(2)]
        elif s in (1, 6):
            a, b, c = self.Lx[0], self.Lx[1], self.Lx[2]
            xs = self.xset
            if b < a < c:
                self.cm = [col(0), dummy(1000, 1000, 0), col(2)] if xs >= a else [col(0), col(1), dummy(1000, 0, 1000)]
            elif b < c < a:
                self.cm = [col(0), dummy(0, 1000, 1000), col(2)] if xs > c else [dummy(1000, 0, 1000), col(1), col(2)]
            elif c < b < a:
                self.cm = ([col(0), col(1), dummy(1000, 1000, 0)[:2] + [col(2)[2]]] if xs >= b
                           else [dummy(1000, 0, 1000), col(1), col(2)])
            elif c <= a < b:
                self.cm = [col(0), col(1), dummy(0, 1000, 1000)] if xs >= a else [col(0), dummy(1000, 0, 1000), col(2)]
            elif a < b < c:
                self.cm = [col(0), col(1), dummy(1000, 0, 1000)] if xs < b else [dummy(1000, 1000, 0), col(1), col(2)]
            elif a < c < b:
                self.cm = [col(0), dummy(1000, 0, 1000), col(2)] if xs < c else [dummy(0, 1000, 1000), col(1), col(2)]
        # 4, 7 and others: the matrix stays.

    def open_loop_matrix(self):
        self.fill(False)
        self.icm = invert(self.cm)

    def compensated_matrix(self):
        self.fill(True)
        self.icm = invert(self.cm)

    def target(self):
        self.Yset = self.intensity / F(100) * self.Ymax
        self.Xset = self.xset / self.yset * self.Yset
        self.Zset = self.Xset / self.xset - self.Xset - self.Yset

    def set_whitepoint(self):
        i = self.icm
        r = lambda j: (i[0][j] * self.Xset + i[1][j] * self.Yset + i[2][j] * self.Zset) * F(100)
        s = self.strategy
        if s in (0, 5):
            self.CH = [r(0), r(1), F(0), F(0)]
        elif s in (1, 2, 3, 6):
            self.CH = [r(0), r(1), r(2), F(0)]
        elif s == 8:
            ch1, ch2 = r(0), r(1)
            if ch1 >= 100:
                ch1 = ch2 = F(100)
            elif ch2 >= 100:
                ch1 = F(100)
            self.CH = [ch1, ch2, F(0), F(0)]
        self.CH = [v if v > 0 else F(0) for v in self.CH]

    def actual_color(self):
        a, cm = self.CHa, self.cm
        s = self.strategy
        if s in (0, 5):
            cols = [cm[0], cm[1]]
        elif s == 4:
            cols = [cm[0], cm[1], cm[2], self.cm4]
        else:
            cols = [cm[0], cm[1], cm[2]]
        sums = []
        for j in range(3):
            total = a[0] * cols[0][j]
            for c in range(1, len(cols)):
                total = total + a[c] * cols[c][j]
            sums.append(total / F(100))
        self.X, self.Y, self.Z = sums
        self.x = self.X / (self.X + self.Y + self.Z)
        self.y = self.Y / (self.X + self.Y + self.Z)

    def color_error(self):
        su, sv = uv_prime(self.xset, self.yset)
        u, v = uv_prime(self.x, self.y)
        self.error = color_error(su, sv, u, v)

    # LED and driver models.

    def per_led(self, c):
        return self.VFo[c] / F(self.nleds[c]) if self.nleds[c] > 0 else F(0)

    def estimate_vf(self):
        falling = self.dVFdI[0] < 0
        for c in range(4):
            current = float(self.cur[c]) * 0.001 * float(self.CH[c]) / 100.0
            rise = float(self.dVFdI[c]) * current
            per_led = float(self.per_led(c))
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

    def driver_level(self, c, corrected):
        """What the driver delivers for the set level of channel c."""
        if self.cur[c] == 0:
            return self.CH[c]
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
            self.CHa[c] = limit_nan_kept(self.driver_level(c, False))

    def model_corrected_driver(self):
        self.estimate_vf()
        self.learn_hydra()
        for c in range(4):
            m = self.driver_level(c, True)
            self.CHa[c] = limit_nan_kept(F(2) * self.CH[c] - m)

    def ideal_driver(self):
        self.CHa = list(self.CH)

    def model_led_data(self):
        for c in range(4):
            leds = self.nleds[c] > 0
            n = F(self.nleds[c])
            cur = F(self.cur[c])
            rise = float(n * self.dVFdI[c] * cur) * 0.001 * float(self.CH[c]) / 100.0
            vfm = F(float(n) * (float(self.per_led(c)) - rise))
            heating = vfm / n * (self.CHa[c] / F(100)) * self.rth[c] * cur if leds else F(0)
            self.Tj[c] = F(float(self.heatsink) + float(heating) * 0.001)
            self.VF[c] = vfm
            ref = float(self.rth[c] * self.DS[c]) * 0.001 * float(self.VFo[c]) / float(n) if leds else 0.0
            tref = F(float(self.ta) + ref)
            t = (self.Tj[c] - tref) / F(75)
            self.Yc[c] = self.LY[c] * powf(cur / self.DS[c], self.droop[c]) * expf(logf(self.HC[c]) * t)
            self.I[c] = F(float(self.CHa[c] / F(100) * cur) * 0.001)
            self.Power[c] = self.VF[c] * self.I[c]

    # Modes.

    def perfect_life(self):
        self.prelude()
        self.open_loop_matrix()
        self.target()
        self.set_whitepoint()
        self.ideal_driver()

    def open_loop(self):
        self.prelude()
        self.open_loop_matrix()
        self.target()
        self.set_whitepoint()
        self.model_driver()
        self.model_led_data()
        self.define_ymax()
        self.compensated_matrix()
        self.ideal_driver()

    def feed_forward(self):
        self.prelude()
        self.target()
        self.open_loop_matrix()
        self.set_whitepoint()
        self.estimate_vf()
        self.model_corrected_driver()

    def perfect_driver(self):
        self.prelude()
        self.target()
        self.open_loop_matrix()
        self.set_whitepoint()
        self.ideal_driver()
        self.model_led_data()
        self.define_ymax()
        self.target()
        self.compensated_matrix()
        self.set_whitepoint()

    def perfect_leds(self):
        self.prelude()
        self.target()
        self.open_loop_matrix()
        self.set_whitepoint()
        self.estimate_vf()
        self.model_driver()

    def optimized_model(self):
        self.prelude()
        self.target()
        self.open_loop_matrix()
        self.set_whitepoint()
        self.estimate_vf()
        self.model_corrected_driver()
        self.model_led_data()
        self.compensated_matrix()
        self.set_whitepoint()
        self.model_corrected_driver()

    def set_cct(self, cct):
        self.cctset = min(max(cct, 1667), 25000)
        self.xset, self.yset = kim_xy(self.cctset)

    def record(self):
        return {"cct": self.cctset, "levels": list(self.CHa), "x": self.x, "y": self.y,
                "vf": list(self.VF), "power": list(self.Power)}

    def run(self):
        self.perfect_life()
        self.intensity = self.lumen / self.Ymax * F(100)
        dI = self.intensity / F(65)
        step = F(float(self.cct_max - self.cct_min) * 0.015625)
        cct = self.cct_max
        level = F(100)
        modes = {0: self.perfect_life, 1: self.open_loop, 2: self.feed_forward, 3: self.perfect_driver,
                 4: self.perfect_leds}
        for i in range(1, 66):
            level = level - F(1.5625)
            self.set_cct(cct)
            if self.strategy in (5, 6, 8):
                self.intensity = self.intensity - dI
            if self.mode in modes:
                modes[self.mode]()
                self.actual_color()
                self.color_error()
            clamped = F(100) if level > 100 else (level if level > 0 else F(0))
            if self.strategy == 7:
                self.CH = [clamped, clamped, F(0), F(0)]
                self.CHa = list(self.CH)
                if self.mode == 2:
                    self.model_corrected_driver()
            self.records.append(self.record())
            level = clamped
            cct = self.cct_max - int(np.trunc(F(i) * step))
        self.knee(1, 0)
        self.knee(2, 0)
        return self

    def knee(self, curve, window):
        """Smooths the knee of curve 1 or 2 in the records (window 3..25)."""
        if curve not in (1, 2) or not 3 <= window <= 25:
            return
        ch = curve - 1
        C = lambda k: self.records[k]["levels"][ch]
        T = lambda k: F(self.records[k]["cct"])
        d = lambda k: C(k) - C(k + 1)
        K, best = 1, None
        for k in range(1, 63):
            change = abs(d(k - 1) - d(k))
            if best is None or change > best:
                K, best = k, change
        lo = max(K - window // 2, 0)
        hi = min(K + window // 2 + 1, 63)
        if not T(lo) >= T(hi):
            return
        new = [F(0)] * 65
        j, t = lo + 1, F(0)
        while True:
            bT = bezier(t, T(lo), T(K + 1), T(hi + 1))
            # Only the window's points: never past hi + 1.
            if j <= hi + 1 and (abs(bT - T(j)) < 5 or T(j) > bT):
                new[j] = bezier(t, C(lo), C(K + 1), C(hi + 1))
                j += 1
            t = F(float(t) + 0.001)
            if not (bT >= T(hi) and t <= 1):
                break
        for k in range(lo + 1, hi + 2):
            if new[k] > F(0.00001):
                self.records[k]["levels"][ch] = new[k]


class Engine13:
    """The version 1.3 engine from its process-start state: every strategy
    code (0..13) and mode (0..5)."""

    def __init__(self, argv):
        a = argv
        self.cctset = atoi(a[1])
        self.lumen = F(atoi(a[2]))
        self.strategy = atoi(a[3])
        self.mode = atoi(a[4])
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
        self.dVFdT = [F(-0.0033)] * 4
        self.CH = [F(100)] * 4
        self.CHa = [F(100)] * 4
        self.Power = [F(100)] * 4
        self.VF = [F(3)] * 4
        self.Yc = [F(0)] * 4
        self.I = [F(0)] * 4
        self.Tj = [F(0)] * 4
        self.cm = [[F(0)] * 3 for _ in range(3)]  # cm[k]: row k + 1, (X, Y, Z) of its LED
        self.cm4 = [F(0)] * 3
        self.icm = [[F(0)] * 3 for _ in range(3)]
        self.RC = [F(0)] * 4
        self.diff = [F(0)] * 4
        self.switch = [150 if 150 <= c <= 199 else 198 for c in self.cur]
        self.hydra = [hydra_match(c, s) for c, s in zip(self.cur, self.switch)]
        self.dali_type = 0
        self.mirek = F(0)
        self.xset = self.yset = F(0)
        self.Xset = self.Yset = self.Zset = F(0)
        self.intensity = F(0)
        self.Ymax = F(0)
        self.X = self.Y = self.Z = self.x = self.y = F(0)
        self.cct_derived = F(0)
        self.cct_error = F(0)
        self.records = []

    def two(self):
        return self.strategy in (0, 5, 8, 12, 13)

    def paired(self):
        return self.strategy in (1, 9, 10)

    def max_level(self):
        return F(100)

    # LED data.

    def simple_led_data(self):
        for c in range(4):
            cur = F(self.cur[c])
            self.I[c] = F(float(cur * (self.CHa[c] / F(100))) * 0.001) if self.CHa[c] > 0 else F(0)
            self.Power[c] = F(self.nleds[c]) * (self.I[c] * self.VFo[c])
            self.Yc[c] = cur * self.LY[c] / self.DS[c] if self.cur[c] > 0 else F(0)
            self.VF[c] = self.VFo[c]

    def model_led_data(self):
        self.Tj = [F(0)] * 4
        self.estimate_vf()
        for c in range(4):
            cur = F(self.cur[c])
            self.Tj[c] = (self.CHa[c] / F(100)) * (self.rth[c] * cur * F(0.001)) * F(3) + self.heatsink
            if self.dVFdT[c] > 0:
                self.dVFdT[c] = -self.dVFdT[c]
            dT = self.Tj[c] - (self.rth[c] * self.DS[c] * F(0.001) * F(3) + self.ta)
            per_led = self.VFo[c] / F(self.nleds[c]) if self.nleds[c] > 0 else F(0)
            self.VF[c] = F(self.nleds[c]) * (self.dVFdT[c] * dT + per_led
                                             + self.dVFdI[c] * cur * (self.CH[c] * F(0.01)) * F(0.001))
            self.I[c] = F(float(cur * (self.CHa[c] / F(100))) * 0.001) if self.CHa[c] > 0 else F(0)
            self.Power[c] = self.I[c] * self.VF[c]
            if self.cur[c] > 0:
                hot_cold = math.exp(float(logf(self.HC[c])) * (float(dT) / 75.0) / 0.43429)
                self.Yc[c] = F(hot_cold * float(powf(cur / self.DS[c], self.droop[c])) * float(self.LY[c]))
            else:
                self.Yc[c] = F(0)

    def define_ymax(self):
        Y = self.Yc
        s = self.strategy
        if s in (0, 12, 13):
            self.Ymax = Y[0] + Y[1]
        elif s in (1, 2, 3, 9, 10):
            self.Ymax = Y[0] + Y[1] + Y[2]
        elif s == 4:
            self.Ymax = (Y[0] + Y[1] + Y[2]) / F(3) + Y[3]
        elif s in (5, 8):
            self.Ymax = Y[0] if Y[0] <= Y[1] else Y[1]
        elif s == 6:
            m = Y[0]
            for v in Y[1:3]:
                if v > m:
                    m = v
            self.Ymax = m

    # Colour matrix.

    def row(self, k, out=None):
        if out is None:
            out = F(self.cur[k]) / self.DS[k] * self.LY[k] if self.mode == 0 else self.Yc[k]
        return led_row(self.Lx[k], self.Ly[k], out)

    DUMMY = [F(1), F(0), F(1)]

    def fill(self):
        s = self.strategy
        cm = self.cm
        D = list(self.DUMMY)
        if s in (2, 3):
            self.cm = [self.row(0), self.row(1), self.row(2)]
        elif s in (0, 5, 8, 12, 13):
            self.cm = [self.row(0), self.row(1), D]
        elif s == 4:
            self.cm = [self.row(0), self.row(1), self.row(2)]
            self.cm4 = self.row(3)
        elif s in (1, 6, 9, 10):
            x1, x2, x3 = self.Lx[0], self.Lx[1], self.Lx[2]
            xs = self.xset
            R = self.row
            if x2 < x1 < x3:
                self.cm = [R(0), D, R(2)] if xs >= x1 else [R(0), R(1), D]
            elif x3 < x1 < x2:
                self.cm = [R(0), R(1), D] if xs >= x1 else [R(0), D, R(2)]
            elif x2 < x3 < x1:
                self.cm = [R(0), D, R(2)] if xs > x3 else [D, R(1), R(2)]
            elif x3 < x2 < x1:
                self.cm = [R(0), R(1), D] if xs > x2 else [D, R(1), R(2)]
            elif x1 < x2 < x3:
                self.cm = [R(0), R(1), D] if x2 > xs else [D, R(1), R(2)]
            elif x1 < x3 < x2:
                self.cm = [R(0), D, R(2)] if x3 > xs else [D, R(1), R(2)]
            else:
                self.cm = cm
        # 7 and 11: unchanged.

    def correct_fill(self):
        if self.strategy not in (1, 6, 9, 10, 11):
            return
        x = self.Lx[:3]
        xs = self.xset
        if all(xs > v for v in x):
            pick = [k for k in range(3) if all(x[k] > x[o] for o in range(3) if o != k)]
        elif all(xs < v for v in x):
            pick = [k for k in range(3) if all(x[k] < x[o] for o in range(3) if o != k)]
        else:
            return
        if not pick:
            return
        k = pick[0]
        self.cm = [self.row(r, F(self.cur[r]) / self.DS[r] * self.LY[r]) if r == k else list(self.DUMMY)
                   for r in range(3)]

    def target(self):
        self.Yset = F(float(self.Ymax) * (float(self.intensity) * 0.01))
        self.Xset = self.xset / self.yset * self.Yset
        self.Zset = self.Xset / self.xset - self.Xset - self.Yset

    def set_whitepoint(self):
        i = self.icm
        r = [i[0][j] * self.Xset + i[1][j] * self.Yset + i[2][j] * self.Zset for j in range(3)]
        M = F(100)
        x1, x2, x3 = self.Lx[0], self.Lx[1], self.Lx[2]
        xs = self.xset
        s = self.strategy
        if self.two():
            self.CH = [r[0] * M, r[1] * M, F(0), F(0)]
            if s == 5:
                if x1 > xs and x2 > xs:
                    self.CH[0] = self.CH[1] = M
                elif xs > x1 and xs > x2:
                    self.CH[0] = self.CH[1] = F(0)
        elif s in (2, 3):
            self.CH = [r[0] * M, r[1] * M, r[2] * M, F(0)]
        elif self.paired() and x1 > x2 > x3:
            if xs > x2:
                self.CH = [r[0] * M, r[1] * M, F(0), F(0)]
            if x2 >= xs:
                self.CH = [F(0), r[1] * M, r[2] * M, F(0)]
            if xs >= x1 and xs >= x2 and xs >= x3:
                self.CH = [M, F(0), F(0), F(0)]
            if x1 >= xs and x2 >= xs and x3 >= xs:
                self.CH = [F(0), F(0), M, F(0)]
        self.limits_ideal()

    def sum_limited(self):
        return self.driver in (3, 6, 7)

    def clip_control(self):
        def clipped():
            if self.sum_limited():
                return self.CH[0] + self.CH[1] + self.CH[2] + self.CH[3] >= 100
            return any(v > 100 for v in self.CH)
        while clipped() and self.intensity > 1.0:
            self.intensity = F(float(self.intensity) - 0.1)
            self.target()
            self.set_whitepoint()

    def limits_ideal(self):
        for c in range(4):
            if self.CH[c] > 100:
                self.CH[c] = F(100)
            if self.CH[c] <= 0:
                self.CH[c] = F(0)
        if self.sum_limited():
            while self.CH[0] + self.CH[1] + self.CH[2] + self.CH[3] >= 100:
                for c in range(4):
                    self.CH[c] = F(float(self.CH[c]) - 0.1)
                    if self.CH[c] <= 0:
                        self.CH[c] = F(0)
        self.CHa = list(self.CH)

    def limits_actual(self):
        def lim(v):
            if v >= 100:
                v = F(100)
            if v <= 0:
                v = F(0)
            return v
        self.CHa = [lim(v) for v in self.CHa]
        if self.sum_limited():
            while self.CHa[0] + self.CHa[1] + self.CHa[2] + self.CHa[3] > 100:
                self.CHa = [lim(F(float(v) - 0.001)) for v in self.CHa]

    def default_sequence(self):
        self.simple_led_data()
        self.define_ymax()
        self.fill()
        self.correct_fill()
        self.icm = invert(self.cm)
        self.target()
        self.set_whitepoint()
        self.clip_control()

    # Driver models.

    def estimate_vf(self):
        self.dVFdI = [F(0) if self.mode == 0 else (-v if v < 0 else v) for v in self.dVFdI]
        for c in range(4):
            n = float(self.nleds[c])
            rise = float(self.dVFdI[c]) * float(self.cur[c]) * 0.001 * float(self.CH[c]) * 0.01
            per_led = float(self.VFo[c]) / n if self.nleds[c] > 0 else 0.0
            self.VF[c] = F(n * (per_led + rise))
            cur = F(self.cur[c])
            self.I[c] = F(float(cur * (self.CHa[c] / F(100))) * 0.001) if self.CHa[c] > 0 else F(0)
            self.Power[c] = self.I[c] * self.VF[c]

    def learn_hydra(self):
        for c in range(4):
            e = (F(2) * self.VF[c] - self.vsup) * self.corr[c]
            level = self.hydra[c]
            if level is not None:
                ih = F(float(level) * ((float(e) + float(self.cur[c])) * 0.01) - float(e))
                self.RC[c] = ih / level
                self.diff[c] = self.RC[c] / F(5)

    def hybrid(self, c):
        return float(self.switch[c]) >= float(self.CH[c]) * float(self.cur[c]) * 0.01

    def delivered(self, c, e):
        iset = F(self.cur[c])
        return ((e + iset) / F(100) * self.CH[c] - e) / iset * F(100)

    def model_corrected_driver(self):
        self.estimate_vf()
        self.learn_hydra()
        m = []
        for c in range(4):
            e = (F(2) * self.VF[c] - self.vsup) * self.corr[c]
            if self.cur[c] == 0:
                m.append(self.CH[c])
                continue
            iset = F(self.cur[c])
            v = self.delivered(c, e)
            if self.hybrid(c):
                if self.driver == 1:
                    self.RC[c] = self.RC[c] + self.diff[c]
                if self.driver in (0, 1):
                    v = self.RC[c] * self.CH[c] / iset * F(100)
                elif self.driver == 2:
                    v = self.CH[c]
            m.append(v)
        if self.sum_limited():
            m = list(self.CH)
        self.CHa = [self.CH[c] - m[c] + self.CH[c] for c in range(4)]
        self.limits_actual()

    def model_driver(self):
        self.learn_hydra()
        for c in range(4):
            e = (F(2) * self.VF[c] - self.vsup) * self.corr[c]
            if self.cur[c] == 0:
                self.CHa[c] = self.CH[c]
                continue
            iset = F(self.cur[c])
            self.CHa[c] = self.delivered(c, e)
            if self.hybrid(c):
                if self.driver == 1:
                    self.RC[c] = self.RC[c] - self.diff[c]
                if self.driver in (0, 1):
                    self.CHa[c] = self.CH[c] * self.RC[c] / iset * F(100)
                elif self.driver in (2, 3, 6, 7):
                    self.CHa[c] = self.CH[c]
        self.limits_actual()

    # Actual colour and the closed loop.

    def measure(self):
        a, cm = self.CHa, self.cm
        s = self.strategy
        if self.two():
            sums = [F(float(a[0] * cm[0][j] + a[1] * cm[1][j]) * 0.01) for j in range(3)]
        elif s == 4:
            sums = [(a[0] * cm[0][j] + a[1] * cm[1][j] + a[2] * cm[2][j] + a[3] * self.cm4[j]) / F(100)
                    for j in range(3)]
        else:
            sums = [(a[0] * cm[0][j] + a[1] * cm[1][j] + a[2] * cm[2][j]) / F(100) for j in range(3)]
        self.X, self.Y, self.Z = sums
        self.x = self.X / (self.Y + self.X + self.Z)
        self.y = self.Y / (self.Y + self.X + self.Z)
        n = F((float(self.x) - 0.332) / (0.1858 - float(self.y)))
        nd = float(n)
        self.cct_derived = F(437.0 * nd**3 + 3601.0 * (nd * nd) + float(F(6861) * n) + 5517.0)
        self.cct_error = F(self.cctset) - self.cct_derived if self.cctset >= 1901 else F(0)

    def step(self, v, by):
        return F(float(v) + by)

    def deviation(self):
        self.measure()
        s = self.strategy
        if s not in (5, 12, 13) and not self.paired():
            return
        x1, x2, x3 = self.Lx[0], self.Lx[1], self.Lx[2]
        M = F(100)
        for _ in range(200):
            xs = self.xset
            if s in (5, 12, 13):
                warm = 0 if self.Lx[0] > self.Lx[1] else 1
                cool = 1 - warm
                if self.cct_error > 10 and self.Lx[warm] >= xs:
                    self.CH[warm] = self.step(self.CH[warm], -0.1)
                    self.CH[cool] = self.step(self.CH[cool], 0.1)
                elif self.cct_error < -10 and self.Lx[warm] >= xs:
                    self.CH[warm] = self.step(self.CH[warm], 0.1)
                    self.CH[cool] = self.step(self.CH[cool], -0.1)
            else:
                sign = 1 if self.cct_error > 5 else (-1 if self.cct_error < -5 else 0)
                if sign:
                    if xs > x2:
                        self.CH[0] = self.step(self.CH[0], -0.1 * sign)
                        self.CH[1] = self.step(self.CH[1], 0.1 * sign)
                        self.CH[2] = self.CH[3] = F(0)
                    if x2 >= xs:
                        self.CH[0] = F(0)
                        self.CH[1] = self.step(self.CH[1], -0.1 * sign)
                        self.CH[2] = self.step(self.CH[2], 0.1 * sign)
                        self.CH[3] = F(0)
                if xs >= x1 and xs >= x2 and xs >= x3:
                    self.CH = [M, F(0), F(0), F(0)]
                if x1 >= xs and x2 >= xs and x3 >= xs:
                    self.CH = [F(0), F(0), M, F(0)]
            if self.mode == 0:
                self.limits_ideal()
            elif self.mode == 2:
                self.model_corrected_driver()
            self.measure()

    # Modes.

    def perfect_life(self):
        self.default_sequence()
        self.estimate_vf()
        self.limits_ideal()
        self.deviation()

    def feed_forward(self):
        self.default_sequence()
        self.estimate_vf()
        self.model_corrected_driver()
        self.deviation()

    def perfect_driver(self):
        self.default_sequence()
        self.estimate_vf()
        self.limits_ideal()
        self.model_led_data()
        self.define_ymax()
        self.fill()
        self.correct_fill()
        self.icm = invert(self.cm)
        self.target()
        self.set_whitepoint()
        self.clip_control()
        self.deviation()

    def perfect_leds(self):
        self.default_sequence()
        self.estimate_vf()
        self.model_driver()
        self.deviation()

    def optimized_model(self):
        self.default_sequence()
        self.estimate_vf()
        self.model_corrected_driver()
        self.model_led_data()
        self.fill()
        self.correct_fill()
        self.icm = invert(self.cm)
        self.set_whitepoint()
        self.clip_control()
        self.deviation()

    def translate(self):
        if self.dali_type == 8:
            self.cctset = int(1e6 / float(self.mirek))
        self.cctset = min(self.cctset, 25000)
        self.xset, self.yset = kim_xy(self.cctset)

    def run(self):
        self.default_sequence()
        self.estimate_vf()
        self.limits_ideal()
        self.deviation()
        self.intensity = self.lumen / self.Ymax * F(100)
        dI = self.intensity / F(65)
        mirek_path = self.strategy in (8, 10, 13)
        self.dali_type = 8 if mirek_path else 6

        def rounded(v):
            fl = math.floor(v)
            return fl + 1 if v - fl >= 0.5 else fl

        mirek_max = F(rounded(1e6 / self.cct_max))
        mirek_min = F(rounded(1e6 / self.cct_min))
        mirek_step = (mirek_min - mirek_max) * F(0.015625)
        kelvin_step = F(float(self.cct_max - self.cct_min) * 0.015625)
        level = F(0) if mirek_path else F(100)
        modes = {0: self.perfect_life, 2: self.feed_forward, 3: self.perfect_driver, 4: self.perfect_leds,
                 5: self.optimized_model}
        for i in range(1, 66):
            offset = F(i - 1)
            if mirek_path:
                self.mirek = np.trunc(mirek_max + np.trunc(offset * mirek_step))
            else:
                self.cctset = self.cct_max - int(np.trunc(offset * kelvin_step))
            self.translate()
            if self.strategy in (5, 6):
                self.intensity = self.intensity - dI
            if self.mode in modes:
                modes[self.mode]()
            level = level + F(1.5625) if mirek_path else level - F(1.5625)
            if level > 100:
                level = F(100)
            if level <= 0:
                level = F(0)
            if self.strategy == 7:
                self.CH = [level, level, F(0), F(0)]
                self.CHa = list(self.CH)
                if self.mode == 2:
                    self.model_corrected_driver()
            power = ((float(self.Power[0]) + float(self.Power[1])) + float(self.Power[2])) + float(self.Power[3])
            self.records.append({"cct": self.cctset, "levels": list(self.CHa), "x": self.x, "y": self.y,
                                 "power": power, "vf": list(self.VF)})
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
    curves = [[curve_byte(r["levels"][ch]) for r in reversed(engine.records)] for ch in (0, 1)]
    strategy = case["strategy"].lower()
    dt8 = bool(case.get("dali_device_type_8", False))
    descriptor = WD if strategy == "wd" else (TW_DT8 if dt8 else TW)
    profile = list(descriptor)
    for curve in curves:
        profile += [curve_descriptor(len(curve))] + curve
    result = {"curve1": curves[0], "curve2": curves[1], "profile": profile + [255]}
    if case["version"] == "1.3":
        result["cct"] = [r["cct"] for r in engine.records]
        result["ptot"] = [r["power"] for r in engine.records]
    return result


# Engine cases beyond the libraries: every strategy code and mode of both
# engines, run straight from an argument vector. A case is a base vector with
# some entries replaced; the generator below prints the expectations as the
# rows of tests/service/lightshape/engine_branches_test.cpp.

def _led(cct, lumens, current, droop, vf, dvfdi, hc):
    x, y = library_xy(cct)
    return [str(lumens), x, y, str(current), droop, vf, dvfdi, hc]


WARM, COOL, MID, FOURTH = 2700, 6500, 4000, 5000


def base_vector(version):
    """Four real LEDs (2700 K, 6500 K, 4000 K, 5000 K) at 350 mA, path 6500..2700 K."""
    if version == "1.1":
        led = lambda cct, lm: _led(cct, lm, 350, "0.996000", "3.000000", "0.030000", "0.990000")
        tail = ["51.063830", "48", "2.380549", "2.524894", "2.524894", "2.524894", "0", "1", "1", "1", "1"]
        head = ["place_holder_for_executable_name", "4373", "800", "0", "0", "350", "350", "350", "350"]
    else:
        led = lambda cct, lm: _led(cct, lm, 350, "0.400000", "3.000000", "-0.003100", "0.850000")
        tail = ["0.000000", "48", "1.000000", "1.000000", "1.000000", "1.000000", "0", "1", "1", "1", "1"]
        head = ["place_holder_for_executable_name", "2700", "1000", "12", "0", "350", "350", "350", "350"]
    return (head + led(WARM, 1000) + led(COOL, 1100) + led(MID, 900) + led(FOURTH, 1200)
            + tail + ["6500", "2700"])


def leds(order):
    """Entries 9..32 with LEDs 1..3 taken from the given colour temperatures."""
    lumens = {WARM: 1000, COOL: 1100, MID: 900}
    out = {}
    for position, cct in enumerate(order):
        x, y = library_xy(cct)
        b = 9 + 8 * position
        out[b], out[b + 1], out[b + 2] = str(lumens[cct]), x, y
    return out


def case(name, version, strategy, mode, **extra):
    overrides = {3: str(strategy), 4: str(mode)}
    for key, value in extra.items():
        if key == "order":
            overrides.update(leds(value))
        else:
            overrides.update(value)
    return {"name": name, "version": version, "overrides": overrides}


DRIVER = 47
LUMEN = 2
WIDE = {52: "8000", 53: "2000"}  # a path beyond the LEDs at both ends
PERMUTATIONS = [(MID, COOL, WARM), (WARM, COOL, MID), (WARM, MID, COOL), (MID, WARM, COOL), (COOL, MID, WARM),
                (COOL, WARM, MID)]

ENGINE_CASES = (
    [case("1.1 s0 m%d" % m, "1.1", 0, m) for m in range(5)]
    + [case("1.1 s0 m9 (no mode)", "1.1", 0, 9)]
    + [case("1.1 s5 m%d" % m, "1.1", 5, m) for m in (0, 2, 3, 4)]
    + [case("1.1 s8 m%d" % m, "1.1", 8, m, l={LUMEN: "1000"}) for m in (0, 2)]
    + [case("1.1 s1 order %s" % "-".join(map(str, o)), "1.1", 1, 0, order=o) for o in PERMUTATIONS]
    + [case("1.1 s1 equal x", "1.1", 1, 0, order=(WARM, WARM, COOL))]
    + [case("1.1 s1 m%d" % m, "1.1", 1, m) for m in (2, 3)]
    + [case("1.1 s2 m%d" % m, "1.1", 2, m) for m in (0, 4)]
    + [case("1.1 s3 m2", "1.1", 3, 2)]
    + [case("1.1 s6 m%d" % m, "1.1", 6, m, order=(COOL, WARM, MID)) for m in (0, 2)]
    + [case("1.1 s4 m%d" % m, "1.1", 4, m) for m in (0, 2)]
    + [case("1.1 s7 m%d" % m, "1.1", 7, m) for m in (0, 2, 4)]
    + [case("1.1 s0 m%d driver %d" % (m, d), "1.1", 0, m, d={DRIVER: str(d)}) for m in (2, 4) for d in (1, 2, 3, 5)]
    + [case("1.1 s0 m2 falling forward voltage", "1.1", 0, 2, v={15: "-0.030000"})]
    + [case("1.1 s0 m3 channels without LEDs", "1.1", 0, 3, n={50: "0", 51: "0"})]
    + [case("1.3 s0 m%d" % m, "1.3", 0, m) for m in (0, 2, 3, 4, 5)]
    + [case("1.3 s12 m%d" % m, "1.3", 12, m) for m in (1, 3, 4, 5)]
    + [case("1.3 s13 m3", "1.3", 13, 3)]
    + [case("1.3 s5 m%d" % m, "1.3", 5, m) for m in (4, 5)]
    + [case("1.3 s8 m%d" % m, "1.3", 8, m) for m in (0, 2)]
    + [case("1.3 s1 m%d" % m, "1.3", 1, m, order=(WARM, MID, COOL)) for m in (0, 2, 4)]
    + [case("1.3 s1 m0 beyond the LEDs", "1.3", 1, 0, order=(WARM, MID, COOL), w=WIDE)]
    + [case("1.3 s9 m0", "1.3", 9, 0, order=(WARM, MID, COOL))]
    + [case("1.3 s10 m0", "1.3", 10, 0, order=(WARM, MID, COOL))]
    + [case("1.3 s6 order %s" % "-".join(map(str, o)), "1.3", 6, 0, order=o, w=WIDE) for o in PERMUTATIONS]
    + [case("1.3 s2 m%d" % m, "1.3", 2, m, l={LUMEN: "1500"}) for m in (0, 2)]
    + [case("1.3 s3 m5", "1.3", 3, 5, l={LUMEN: "1500"})]
    + [case("1.3 s4 m%d" % m, "1.3", 4, m) for m in (0, 2)]
    + [case("1.3 s7 m%d" % m, "1.3", 7, m) for m in (0, 2)]
    + [case("1.3 s11 m0", "1.3", 11, 0, order=(WARM, MID, COOL), w=WIDE)]
    + [case("1.3 s12 m%d driver %d" % (m, d), "1.3", 12, m, d={DRIVER: str(d)}) for m in (0, 2, 4)
       for d in (1, 2, 3, 6, 7, 5)]
    + [case("1.3 s12 m2 channel without current", "1.3", 12, 2, c={7: "0"})]
)

SAMPLES = (1, 17, 33, 49, 65)


def run_case(c):
    argv = base_vector(c["version"])
    for index, text in c["overrides"].items():
        argv[index] = text
    engine = (Engine11 if c["version"] == "1.1" else Engine13)(argv).run()
    return engine


def total_power(record):
    p = record["power"]
    if isinstance(p, float):
        return p
    return ((float(p[0]) + float(p[1])) + float(p[2])) + float(p[3])


def c_float(v):
    v = float(v)
    if math.isnan(v):
        return "NAN"
    if math.isinf(v):
        return "INFINITY" if v > 0 else "-INFINITY"
    return v.hex()


def golden_row(c):
    engine = run_case(c)
    recs = engine.records
    curves = ['"%s"' % "".join("%02x" % curve_byte(r["levels"][ch]) for r in reversed(recs)) for ch in range(4)]
    overrides = ", ".join('{%d, "%s"}' % (k, v) for k, v in sorted(c["overrides"].items()))
    pick = [recs[i - 1] for i in SAMPLES]
    return ('    {"%s", %s, {%s},\n        {%s},\n        {%s}, {%s},\n        {%s},\n        {%s}},'
            % (c["name"], "11" if c["version"] == "1.1" else "13", overrides, ",\n            ".join(curves),
               ", ".join(str(r["cct"]) for r in pick), ", ".join(c_float(total_power(r)) for r in pick),
               ", ".join(c_float(r["x"]) for r in pick), ", ".join(c_float(r["y"]) for r in pick)))


def knee_rows():
    """Version 1.1, strategy 0 feed-forward: the levels of curve 1 or 2 after
    smoothing the knee with a window, every point."""
    rows = []
    for curve, window in ((1, 3), (1, 10), (2, 10), (2, 25)):
        engine = run_case(case("knee", "1.1", 0, 2))
        engine.knee(curve, window)
        levels = ", ".join(c_float(r["levels"][curve - 1]) for r in engine.records)
        rows.append("    {%d, %d, {%s}}," % (curve, window, levels))
    return rows


def optimized_model_rows():
    """Version 1.1: DoOptimizedModel at one colour temperature after a run
    whose mode computes nothing at the points."""
    rows = []
    for strategy, cct in ((0, 4000), (0, 3000), (1, 3300), (5, 3000)):
        engine = run_case(case("direct", "1.1", strategy, 9))
        engine.set_cct(cct)
        engine.optimized_model()
        rows.append("    {%d, %d, {%s}, {%s}}," % (strategy, cct, ", ".join(c_float(v) for v in engine.CHa),
                                                  ", ".join(c_float(v) for v in engine.Power)))
    return rows


if __name__ == "__main__":
    import sys
    if sys.argv[1:] == ["--engine-goldens"]:
        for version, name in (("1.1", "base11"), ("1.3", "base13")):
            texts = ", ".join('"%s"' % t for t in base_vector(version))
            print("const char* const %s[54] = {%s};" % (name, texts))
        print("// Engine runs.")
        for c in ENGINE_CASES:
            print(golden_row(c))
        print("// Knee-point smoothing.")
        print("\n".join(knee_rows()))
        print("// DoOptimizedModel.")
        print("\n".join(optimized_model_rows()))
