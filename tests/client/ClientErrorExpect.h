// Expectations on client errors: the id (SQLCode) and the exact message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "client/IBErrors.h"

namespace vantrel::test {
// The id as SQLCode carries it, given as a number or a ClientError.
inline int32_t ClientErrorId(int32_t id) { return id; }
inline int32_t ClientErrorId(ClientError id) { return static_cast<int32_t>(id); }
}  // namespace vantrel::test

#define EXPECT_CLIENT_ERROR(statement, id, text)                                             \
    do {                                                                                     \
        try {                                                                                \
            statement;                                                                       \
            ADD_FAILURE() << "expected client error " << ::vantrel::test::ClientErrorId(id); \
        } catch (const ::vantrel::EIBClientError &e_) {                                      \
            EXPECT_EQ(e_.SQLCode(), ::vantrel::test::ClientErrorId(id));                     \
            EXPECT_EQ(std::string(e_.what()), std::string(text));                            \
        }                                                                                    \
    } while (0)

#define EXPECT_CLIENT_ERROR_ID(statement, id)                                                \
    do {                                                                                     \
        try {                                                                                \
            statement;                                                                       \
            ADD_FAILURE() << "expected client error " << ::vantrel::test::ClientErrorId(id); \
        } catch (const ::vantrel::EIBClientError &e_) {                                      \
            EXPECT_EQ(e_.SQLCode(), ::vantrel::test::ClientErrorId(id)) << e_.what();        \
        }                                                                                    \
    } while (0)
