// The provider reads a program's structures through declarations that build
// without Windows headers (simple_mapi_ansi.h, include/simple_mapi_types.h):
// they must have the layout of <mapi.h>, and the exports its signatures.
#include <windows.h>

#include <mapi.h>

#include <cstddef>

#include "server/mapi/mapi_results.h"
#include "server/mapi/simple_mapi_ansi.h"

namespace {

namespace mapi = zobrik::mapi;

static_assert(sizeof(mapi::MapiMessageA) == sizeof(MapiMessage));
static_assert(offsetof(mapi::MapiMessageA, lpOriginator) == offsetof(MapiMessage, lpOriginator));
static_assert(offsetof(mapi::MapiMessageA, nRecipCount) == offsetof(MapiMessage, nRecipCount));
static_assert(offsetof(mapi::MapiMessageA, lpRecips) == offsetof(MapiMessage, lpRecips));
static_assert(offsetof(mapi::MapiMessageA, nFileCount) == offsetof(MapiMessage, nFileCount));
static_assert(offsetof(mapi::MapiMessageA, lpFiles) == offsetof(MapiMessage, lpFiles));
static_assert(sizeof(mapi::MapiRecipDescA) == sizeof(MapiRecipDesc));
static_assert(offsetof(mapi::MapiRecipDescA, lpszAddress) == offsetof(MapiRecipDesc, lpszAddress));
static_assert(offsetof(mapi::MapiRecipDescA, lpEntryID) == offsetof(MapiRecipDesc, lpEntryID));
static_assert(sizeof(mapi::MapiFileDescA) == sizeof(MapiFileDesc));
static_assert(offsetof(mapi::MapiFileDescA, lpszPathName) == offsetof(MapiFileDesc, lpszPathName));
static_assert(offsetof(mapi::MapiFileDescA, lpFileType) == offsetof(MapiFileDesc, lpFileType));
static_assert(mapi::kMapiDialog == MAPI_DIALOG && mapi::kMapiTo == MAPI_TO && mapi::kMapiBcc == MAPI_BCC);
static_assert(mapi::kMapiAttachmentNotFound == MAPI_E_ATTACHMENT_NOT_FOUND &&
              mapi::kMapiInvalidRecips == MAPI_E_INVALID_RECIPS && mapi::kMapiNotSupported == MAPI_E_NOT_SUPPORTED);

}  // namespace
