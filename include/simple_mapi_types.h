// Simple MAPI's wide-character structures and the MAPISendMailW signature.
// MinGW's <mapi.h> declares only the ANSI forms; these have the same layout
// with wide strings. Declared without Windows headers so that building the
// descriptors can be tested natively.
#pragma once

#include <cstdint>

#include "wide_text.h"

#ifdef _WIN32
#define ZOBRIK_WINAPI __stdcall
#else
#define ZOBRIK_WINAPI
#endif

namespace zobrik {

// Simple MAPI's published names.
// NOLINTBEGIN(readability-identifier-naming)
constexpr uint32_t MAPI_ORIG = 0;
constexpr uint32_t MAPI_TO = 1;
constexpr uint32_t MAPI_CC = 2;
constexpr uint32_t MAPI_BCC = 3;

constexpr uint32_t MAPI_LOGON_UI = 0x00000001;
constexpr uint32_t MAPI_DIALOG = 0x00000008;
constexpr uint32_t MAPI_DIALOG_MODELESS = 0x00000004;

constexpr uint32_t MAPI_USER_ABORT = 1;
constexpr uint32_t SUCCESS_SUCCESS = 0;
// NOLINTEND(readability-identifier-naming)

struct MapiRecipDescW {
    uint32_t ulReserved;
    uint32_t ulRecipClass;
    WideChar* lpszName;
    WideChar* lpszAddress;
    uint32_t ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDescW {
    uint32_t ulReserved;
    uint32_t flFlags;
    uint32_t nPosition;
    WideChar* lpszPathName;
    WideChar* lpszFileName;
    void* lpFileType;
};

struct MapiMessageW {
    uint32_t ulReserved;
    WideChar* lpszSubject;
    WideChar* lpszNoteText;
    WideChar* lpszMessageType;
    WideChar* lpszDateReceived;
    WideChar* lpszConversationID;
    uint32_t flFlags;
    MapiRecipDescW* lpOriginator;
    uint32_t nRecipCount;
    MapiRecipDescW* lpRecips;
    uint32_t nFileCount;
    MapiFileDescW* lpFiles;
};

// ULONG MAPISendMailW(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS, ULONG)
using MapiSendMailWFunction = uint32_t(ZOBRIK_WINAPI*)(uintptr_t lhSession, uintptr_t ulUIParam,
                                                       MapiMessageW* lpMessage, uint32_t flFlags, uint32_t ulReserved);

}  // namespace zobrik
