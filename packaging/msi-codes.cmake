# Prints the product code and the package code of the Windows Installer
# package: cmake -DVERSION=1.0.0.11 -DPAYLOAD=<digest> -P msi-codes.cmake
# Both are name-based UUIDs under the upgrade code, so that a build is
# reproducible: the product code follows the version (each release is a new
# product, which a later one replaces), the package code also follows the
# digest of the files the package carries.
set(upgrade_code DE04BA5D-2F63-5C7C-8FAA-EA24B22D5537)
string(UUID product NAMESPACE ${upgrade_code} NAME "Quorvex product ${VERSION}" TYPE SHA1 UPPER)
string(UUID package NAMESPACE ${upgrade_code} NAME "Quorvex package ${VERSION} ${PAYLOAD}" TYPE SHA1 UPPER)
message("${product} ${package}")
