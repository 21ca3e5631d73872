#!/usr/bin/env bash
# Prints the Windows architecture that development and test builds target: i686, the product's
# own, where this host runs 32-bit Wine; x86_64 where it cannot (kernels without 32-bit user
# mode), so that the suite still runs the real code under Wine.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo i686
else
    echo x86_64
fi
