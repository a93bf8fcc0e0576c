#include "net/SocketError.h"

#include <gtest/gtest.h>

#include <netdb.h>

#include <cerrno>

TEST(SocketErrorTest, Texts) {
    struct Row {
        int code;
        const char* api;
        const char* message;
    };
    const Row rows[] = {
        {ECONNREFUSED, "connect",
         "Windows socket error: Connection refused (111), on API 'connect'"},
        {ETIMEDOUT, "connect",
         "Windows socket error: Connection timed out (110), on API 'connect'"},
        {ENOTCONN, "getpeername",
         "Windows socket error: Transport endpoint is not connected (107), on API 'getpeername'"},
        {EAI_NONAME, "ASync Lookup",
         "Windows socket error: Name or service not known (-2), on API 'ASync Lookup'"},
        {EAI_SERVICE, "ASync Lookup",
         "Windows socket error: Servname not supported for ai_socktype (-8), on API 'ASync "
         "Lookup'"},
        {99999, "closesocket",
         "Windows socket error: Unknown error 99999 (99999), on API "
         "'closesocket'"},
        {-999, "WSAASyncGetHostByName",
         "Windows socket error: Unknown error -999 (-999), on API 'WSAASyncGetHostByName'"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WinSocketError(row.code, row.api).Message(), row.message);
    EXPECT_EQ(AsyncSocketError(10061).Message(), "Asynchronous socket error 10061");
    EXPECT_EQ(AsyncSocketError(-5).Message(), "Asynchronous socket error -5");
}
