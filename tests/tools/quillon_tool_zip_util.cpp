// The package tests' archive builder and scratch folders, compiled into this
// folder's test binary as well (each test folder is a binary of its own).
#include "tests/package/zip_test_util.cpp"
