// Expectations on client errors: the id (SQLCode) and the exact message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "client/IBErrors.h"

#define EXPECT_CLIENT_ERROR(statement, id, text)                   \
    do {                                                           \
        try {                                                      \
            statement;                                             \
            ADD_FAILURE() << "expected client error " << (id);     \
        } catch (const ::vantrel::EIBClientError &e_) {            \
            EXPECT_EQ(e_.SQLCode(), (id));                         \
            EXPECT_EQ(std::string(e_.what()), std::string(text));  \
        }                                                          \
    } while (0)

#define EXPECT_CLIENT_ERROR_ID(statement, id)                      \
    do {                                                           \
        try {                                                      \
            statement;                                             \
            ADD_FAILURE() << "expected client error " << (id);     \
        } catch (const ::vantrel::EIBClientError &e_) {            \
            EXPECT_EQ(e_.SQLCode(), (id)) << e_.what();            \
        }                                                          \
    } while (0)
