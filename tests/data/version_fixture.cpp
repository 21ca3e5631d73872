void tovo_version_fixture() {}
