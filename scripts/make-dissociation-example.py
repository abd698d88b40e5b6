#!/usr/bin/env python3
"""Writes examples/naming_comprehension_age_education.txt: 30 controls drawn with a fixed
seed from the population below, then the case, each line naming, comprehension, age and
years of education, with CR LF line ends.

Population: age ~ N(68, 7^2) and education ~ N(12, 3^2) with correlation -0.3; naming
(of 60) = 52 - 0.20 (age - 68) + 0.60 (education - 12) + e1 and comprehension (of 40) =
34 - 0.10 (age - 68) + 0.50 (education - 12) + e2, the residuals e1, e2 normal with SDs
3 and 2.5 and correlation 0.5. Normal variates by Box and Muller's method from Python's
Mersenne Twister, seeded 20260415; every score rounded to a whole number, education kept
within 6 to 20 and the tasks within their maxima.
"""

import math
import random
import sys

SEED = 20260415
CONTROLS = 30
CASE = (38, 32, 72, 10)  # naming, comprehension, age, education


def normal_pairs(rng):
    """Independent standard normal variates, two at a time, by Box and Muller."""
    while True:
        u1, u2 = rng.random(), rng.random()
        radius = math.sqrt(-2.0 * math.log(1.0 - u1))
        yield radius * math.cos(2 * math.pi * u2)
        yield radius * math.sin(2 * math.pi * u2)


def correlated(z1, z2, sd1, sd2, rho):
    return sd1 * z1, sd2 * (rho * z1 + math.sqrt(1 - rho * rho) * z2)


def control(z):
    age_dev, edu_dev = correlated(next(z), next(z), 7.0, 3.0, -0.3)
    e1, e2 = correlated(next(z), next(z), 3.0, 2.5, 0.5)
    age = round(68 + age_dev)
    education = min(20, max(6, round(12 + edu_dev)))
    naming = min(60, round(52 - 0.20 * (age - 68) + 0.60 * (education - 12) + e1))
    comprehension = min(40, round(34 - 0.10 * (age - 68) + 0.50 * (education - 12) + e2))
    return naming, comprehension, age, education


def main():
    z = normal_pairs(random.Random(SEED))
    rows = [control(z) for _ in range(CONTROLS)] + [CASE]
    path = sys.argv[1] if len(sys.argv) > 1 else "examples/naming_comprehension_age_education.txt"
    with open(path, "w", newline="") as out:
        for row in rows:
            out.write(" ".join(str(value) for value in row) + "\r\n")


if __name__ == "__main__":
    main()
