#!/usr/bin/python3
# Reference places for tests/sky/tst_ephemeris.cpp from an independent implementation, PyEphem 4.1 (Debian
# python3-ephem), with pyerfa only for the Earth's state the near-Earth test orbit is built around
# and for the geodetic place of the test observatory. Not run by the tests: its printout was pasted
# into the test's table. Run: /usr/bin/python3 tools/orbitreference/ephemeris_reference.py
#
# PyEphem works in UT with its own ΔT (73.94 s for 2026 March against 69.18 s = TAI-UTC + 32.184 s
# from the leap-second table): the time handed to it is moved back by the difference, so that both
# sides propagate to the same TT. Its astrometric place (a_ra, a_dec) is geocentric; the
# topocentric one is a_ra/a_dec plus the parallax shift PyEphem applies between its geocentric and
# topocentric apparent places (g_ra/g_dec to ra/dec, which are of date: both carried to
# J2000 by PyEphem's precession first).
import math
import ephem
import erfa
import numpy as np

K = 0.01720209895
MU = K * K
EPS = math.radians(84381.448 / 3600)
UTC = (2026, 3, 16, 2, 0, 0.0)
EPOCH = (2026, 3, 15)  # 0h TT, packed K263F

def tt_jd(y, mo, d, h, mi, s):
    u1, u2 = erfa.dtf2d("UTC", y, mo, d, h, mi, s)
    a1, a2 = erfa.utctai(u1, u2)
    t1, t2 = erfa.taitt(a1, a2)
    return t1 + t2

def ephem_date_for(utc):
    jd = tt_jd(*utc)
    ut = ephem.Date(jd - 2415020.0 - 69.184 / 86400)  # first guess
    for _ in range(3):
        ut = ephem.Date(jd - 2415020.0 - ephem.delta_t(ut) / 86400)
    return ut

def elements_from_state(r, v):
    """Heliocentric equatorial J2000 state (AU, AU/day) to ecliptic elements."""
    rot = np.array([[1, 0, 0], [0, math.cos(EPS), math.sin(EPS)], [0, -math.sin(EPS), math.cos(EPS)]])
    r, v = rot @ r, rot @ v
    h = np.cross(r, v)
    n = np.cross([0, 0, 1], h)
    ev = np.cross(v, h) / MU - r / np.linalg.norm(r)
    e = np.linalg.norm(ev)
    a = 1 / (2 / np.linalg.norm(r) - v @ v / MU)
    i = math.degrees(math.acos(h[2] / np.linalg.norm(h)))
    node = math.degrees(math.atan2(n[1], n[0])) % 360
    peri = math.degrees(math.acos(n @ ev / (np.linalg.norm(n) * e)))
    if ev[2] < 0: peri = 360 - peri
    nu = math.acos(np.clip(ev @ r / (e * np.linalg.norm(r)), -1, 1))
    if r @ v < 0: nu = 2 * math.pi - nu
    E = 2 * math.atan(math.sqrt((1 - e) / (1 + e)) * math.tan(nu / 2))
    M = math.degrees(E - e * math.sin(E)) % 360
    return a, e, i, node, peri, M

def mpcorb_line(packed, H, G, epoch_packed, M, peri, node, i, e, a):
    n = math.degrees(K / a ** 1.5)
    return (f"{packed:<7s} {H:5.2f} {G:5.2f} {epoch_packed} {M:9.5f}  {peri:9.5f}  {node:9.5f}  {i:9.5f}"
            f"  {e:9.7f} {n:11.8f} {a:11.7f}  0 MPO000000  100   5 2000-2025 0.50 M-v 3Eh MPCLINUX   0000"
            f"      {'('+packed+')':<28s}20250101")

# The near-Earth object: 0.05 AU from the Earth at the epoch, 6 km/s apart.
ejd = tt_jd(*EPOCH, 0, 0, 0.0) - 69.184 / 86400
pvh, pvb = erfa.epv00(ejd, 0.0)
er, ev = pvh[0], pvh[1]
off = np.array([0.6, -0.5, 0.3]); off = 0.05 * off / np.linalg.norm(off)
dv = np.array([0.002, 0.0025, -0.0015])
nea = elements_from_state(er + off, ev + dv)
# libastro keeps elements in single precision: rounded to values a float holds exactly (angles to
# 1/32°, e and a to 1/128), both sides start from the same orbit. It stays about 0.05 AU away.
nea = tuple(round(x * 32) / 32 for x in nea[:1]) + (round(nea[1] * 128) / 128,) + tuple(round(x * 32) / 32 for x in nea[2:])

asteroids = [
    ("00001", 3.34, 0.15, 188.70269, 73.27343, 80.25221, 10.58780, 0.0794013, 2.7660512),
    ("00004", 3.25, 0.32, 26.80058, 151.53712, 103.70233, 7.14406, 0.0901676, 2.3614349),
    ("K26E05N", 21.5, 0.15, nea[5], nea[4], nea[3], nea[2], nea[0 + 1], nea[0]),
]

site = ephem.Observer()
lon, cos_part, sin_part = 249.21128, 0.845111, 0.533614  # G96 in ObsCodes
xyz = np.array([cos_part * math.cos(math.radians(lon)), cos_part * math.sin(math.radians(lon)), sin_part]) * 6378137.0
glon, glat, height = erfa.gc2gd(1, xyz)
site.lon, site.lat, site.elevation = glon, glat, height
site.pressure = 0
site.date = ephem_date_for(UTC)
geo = ephem.Observer(); geo.date = site.date; geo.pressure = 0
geo.lat, geo.lon, geo.elevation = 0, 0, 0

def report(name, body, line):
    body.compute(site)
    # ra/dec and g_ra/g_dec are of date: both are carried to J2000 before their difference is taken.
    g = ephem.Equatorial(ephem.Equatorial(body.g_ra, body.g_dec, epoch=site.date), epoch=ephem.J2000)
    t = ephem.Equatorial(ephem.Equatorial(body.ra, body.dec, epoch=site.date), epoch=ephem.J2000)
    topo_ra = body.a_ra + (t.ra - g.ra)
    topo_dec = body.a_dec + (t.dec - g.dec)
    line = line.rstrip()[:112]
    print(f'            .row("{name}",\n                 "{line[:100]}"\n                 "{line[100:]}",')
    print(f'                 {math.degrees(body.a_ra):.8f}, {math.degrees(body.a_dec):.8f}, {math.degrees(topo_ra):.8f},'
          f' {math.degrees(topo_dec):.8f}, {body.earth_distance:.6f}, {body.mag:.2f})')

for packed, H, G, M, peri, node, i, e, a in asteroids:
    line = mpcorb_line(packed, H, G, "K263F", M, peri, node, i, e, a)
    n = math.degrees(K / a ** 1.5)
    b = ephem.readdb(f"{packed},e,{i:.5f},{node:.5f},{peri:.5f},{a:.7f},{n:.8f},{e:.7f},{M:.5f},3/15.0/2026,2000,H{H},{G}")
    report({"00001": "main belt, (1)", "00004": "main belt, (4)"}.get(packed, "near-Earth object at 0.05 AU"), b, line)

# Comets: perihelion time in TT as CometEls gives it, as PyEphem takes the times of elements.
def comet_date(y, m, d):
    return ephem.Date(f"{y}/{m}/{d}")

comets = [
    # packed, type, year, month, day, q, e, peri, node, incl, H, K
    ("CK25X010", "near-parabolic", 2026, 4, 2.5, 0.83, 0.9993, 130.6, 283.3, 88.99, 8.0, 4.0),
    ("CK26A020", "parabolic", 2026, 2, 20.25, 1.10, 1.0, 40.2, 10.5, 125.3, 9.0, 4.0),
    ("CK26B030", "hyperbolic", 2026, 5, 10.75, 1.45, 1.25, 250.0, 60.0, 35.0, 10.0, 2.0),
]
for packed, kind, y, m, d, q, e, peri, node, incl, H, Kk in comets:
    line = (f"    {packed}  {y:4d} {m:02d} {d:7.4f} {q:9.6f}  {e:8.6f}  {peri:8.4f}  {node:8.4f}  {incl:8.4f}"
            f"  20260101  {H:4.1f} {Kk:4.1f}  {packed:<56s}MPC 00000")
    T = comet_date(y, m, d)
    if e < 1:
        a = q / (1 - e)
        b = ephem.readdb(f"{packed},e,{incl},{node},{peri},{a},0,{e},0,{T.tuple()[1]}/{T.tuple()[2] + (T.tuple()[3] + T.tuple()[4]/60 + T.tuple()[5]/3600)/24:.8f}/{T.tuple()[0]},2000,g{H},{Kk}")
    else:
        # PyEphem's own parabolic branch ("p") is 21″ away from its elliptic and hyperbolic ones at
        # e = 1 ∓ 1e-6 (which agree with each other to 0.03″): the parabola is taken as e = 1 + 1e-9.
        e_ = e if e > 1 else 1 + 1e-9
        b = ephem.readdb(f"{packed},h,{T.tuple()[1]}/{T.tuple()[2] + (T.tuple()[3] + T.tuple()[4]/60 + T.tuple()[5]/3600)/24:.8f}/{T.tuple()[0]},{incl},{node},{peri},{e_},{q},2000,{H},{Kk}")
    report(kind + " comet", b, line)

# The near-Earth object once more, geocentric, by a plain Kepler solution in double precision with
# ERFA's Earth: the check of its row that does not go through PyEphem's frames.
def kepler_place(a, e, i, node, peri, M, epoch_jd, tt, site=np.zeros(3)):
    R = np.array([[1, 0, 0], [0, math.cos(EPS), -math.sin(EPS)], [0, math.sin(EPS), math.cos(EPS)]])
    w, O, inc = map(math.radians, (peri, node, i))
    P = np.array([math.cos(w) * math.cos(O) - math.sin(w) * math.sin(O) * math.cos(inc),
                  math.cos(w) * math.sin(O) + math.sin(w) * math.cos(O) * math.cos(inc), math.sin(w) * math.sin(inc)])
    Q = np.array([-math.sin(w) * math.cos(O) - math.cos(w) * math.sin(O) * math.cos(inc),
                  -math.sin(w) * math.sin(O) + math.cos(w) * math.cos(O) * math.cos(inc), math.cos(w) * math.sin(inc)])
    def helio(t):
        m = math.radians(M) + K / a ** 1.5 * (t - epoch_jd)
        E = m
        for _ in range(50):
            E -= (E - e * math.sin(E) - m) / (1 - e * math.cos(E))
        return R @ (a * (math.cos(E) - e) * P + a * math.sqrt(1 - e * e) * math.sin(E) * Q)
    earth = erfa.epv00(tt, 0.0)[0][0] + site
    tau = 0
    for _ in range(4):
        g = helio(tt - tau) - earth
        tau = np.linalg.norm(g) / 173.1446326846693
    ra, dec = erfa.c2s(g)
    return math.degrees(erfa.anp(ra)), math.degrees(dec)

print("// near-Earth object, Kepler + ERFA: %.8f %.8f" % kepler_place(nea[0], nea[1], nea[2], nea[3], nea[4], nea[5],
      tt_jd(*EPOCH, 0, 0, 0.0) - 69.184 / 86400, tt_jd(*UTC)))

# The field of the known-objects window test (tests/report/tst_knownwindow.cpp): (1) as above and two
# neighbours on the same orbit a little ahead of and behind it in mean anomaly, geocentric.
for packed, dM, H in [("00001", 0.0, 3.34), ("K24A01B", 0.04, 14.2), ("~0000", -0.06, 13.9)]:
    a, e, i, node, peri, M = 2.7660512, 0.0794013, 10.58780, 80.25221, 73.27343, 188.70269 + dM
    b = ephem.readdb(f"{packed},e,{i},{node},{peri},{a},{math.degrees(K / a ** 1.5):.8f},{e},{M:.5f},3/15.0/2026,2000,H{H},0.15")
    b.compute(site.date)
    line = f"// window test {packed}: M {M:.5f} H {H}  {math.degrees(b.a_ra):.8f} {math.degrees(b.a_dec):.8f} V {b.mag:.2f}"
    b.compute(ephem.Date(site.date + 40 * ephem.minute))
    print(line + f"; 40 min later {math.degrees(b.a_ra):.8f} {math.degrees(b.a_dec):.8f}")

# The near-Earth object topocentric from G96 by the same Kepler solution: the site's place carried
# to GCRS by astropy (Debian python3-astropy; its ERFA precession-nutation and Earth rotation,
# UT1 taken as UTC: 0.1 s moves the site 46 m, 0.001″ at this distance), light time iterated from
# the site. Printed 332.02434174 16.21044827.
def kepler_topocentric():
    from astropy.utils import iers
    iers.conf.auto_download = False
    from astropy.time import Time
    from astropy.coordinates import EarthLocation
    import astropy.units as u
    loc = EarthLocation.from_geocentric(*(xyz * u.m))
    site = loc.get_gcrs_posvel(Time("2026-03-16T02:00:00", scale="utc"))[0].get_xyz().to(u.au).value
    return kepler_place(*nea, tt_jd(*EPOCH, 0, 0, 0.0) - 69.184 / 86400, tt_jd(*UTC), site)

print("// near-Earth object topocentric from G96, Kepler + ERFA + astropy: %.8f %.8f" % kepler_topocentric())
