// The main of a test program that is handed the filter module's file name as its one argument.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Runs the tests with moduleName set to the argument; exit status 2 when it is missing.
inline int RunTestsWithModule(int argc, char** argv, std::string& moduleName)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    moduleName = argv[1];
    return RUN_ALL_TESTS();
}
