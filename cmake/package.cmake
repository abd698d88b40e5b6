# The Debian package: `cpack -G DEB` in the build folder makes quorvane_<version>_<arch>.deb
# from the install rules, with the shared libraries' packages found by dpkg-shlibdeps.

set(QUORVANE_MAINTAINER "Quorvane developers <maintainers@quorvane.invalid>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_CONTACT "${QUORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Bayesian test for a deficit in a single case, allowing for covariates")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane tests whether a patient's score on a task lies so far below the scores of a
sample of healthy controls that it shows a deficit, once the patient's scores on one to
five covariates (years of education, age, ...) are allowed for. It reads the controls'
and the patient's raw scores from a text file and runs a Bayesian Monte Carlo test of
one million draws; the report gives the one- and two-tailed probabilities, the effect
size Z-CCC and the percentage of controls expected to score below the patient, with
credible limits. Results are exactly reproducible.

The package holds the desktop program, its companion quorvane-summary, which takes the
controls' summary statistics (means, SDs and correlations) instead of raw scores, the
command-line tool quorvane-report for batch use, and example data files.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Removes the saved inputs that earlier versions left in /usr/bin.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/debian/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The report's fixed-pitch face on a machine without fonts of its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)

include(CPack)
