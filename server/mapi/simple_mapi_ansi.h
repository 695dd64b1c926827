// Simple MAPI's ANSI structures (MapiRecipDesc, MapiFileDesc, MapiMessage)
// declared without Windows headers, with the layout of <mapi.h>, so that
// reading a program's message can be tested natively; the wide forms are
// in include/simple_mapi_types.h. server/mapi/win/mapi_exports.cpp checks
// both layouts against <mapi.h>.
#pragma once

#include <cstdint>

namespace zobrik::mapi {

struct MapiRecipDescA {
    uint32_t ulReserved;
    uint32_t ulRecipClass;
    char* lpszName;
    char* lpszAddress;
    uint32_t ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDescA {
    uint32_t ulReserved;
    uint32_t flFlags;
    uint32_t nPosition;
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};

struct MapiMessageA {
    uint32_t ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    uint32_t flFlags;
    MapiRecipDescA* lpOriginator;
    uint32_t nRecipCount;
    MapiRecipDescA* lpRecips;
    uint32_t nFileCount;
    MapiFileDescA* lpFiles;
};

}  // namespace zobrik::mapi
