// The administrator's policy: what remote servers may do on this client.
// It is read from the registry (HKLM wins over HKCU) when the client creates
// the plug-in object, and holds for every channel of that object. Without a
// policy every member keeps its default, which is the plug-in's behaviour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "request_limits.h"
#include "wide_text.h"

namespace zobrik {

// The key under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
inline constexpr WideChar kPolicyKeyPath[] = ZOBRIK_WIDE("SOFTWARE\\Policies\\Zobrik\\WTSDVC");

// The names of the settings, as registry value names.
inline constexpr WideChar kExecChannelSetting[] = ZOBRIK_WIDE("ExecChannel");
inline constexpr WideChar kMailChannelSetting[] = ZOBRIK_WIDE("MailChannel");
inline constexpr WideChar kExecAllowedSchemesSetting[] = ZOBRIK_WIDE("ExecAllowedSchemes");
inline constexpr WideChar kExecAllowLocalPathsSetting[] = ZOBRIK_WIDE("ExecAllowLocalPaths");
inline constexpr WideChar kExecAllowNetworkPathsSetting[] = ZOBRIK_WIDE("ExecAllowNetworkPaths");
inline constexpr WideChar kExecAllowProgramsSetting[] = ZOBRIK_WIDE("ExecAllowPrograms");
inline constexpr WideChar kExecAllowListSetting[] = ZOBRIK_WIDE("ExecAllowList");
inline constexpr WideChar kExecDenyListSetting[] = ZOBRIK_WIDE("ExecDenyList");
inline constexpr WideChar kExecConfirmSetting[] = ZOBRIK_WIDE("ExecConfirm");
inline constexpr WideChar kExecConfirmTimeoutSetting[] = ZOBRIK_WIDE("ExecConfirmTimeout");
inline constexpr WideChar kMailAllowOutlookSetting[] = ZOBRIK_WIDE("MailAllowOutlook");
inline constexpr WideChar kMailAllowImmediateSendSetting[] = ZOBRIK_WIDE("MailAllowImmediateSend");
inline constexpr WideChar kMailMaxRequestBytesSetting[] = ZOBRIK_WIDE("MailMaxRequestBytes");
inline constexpr WideChar kMailMaxRecipientsSetting[] = ZOBRIK_WIDE("MailMaxRecipients");
inline constexpr WideChar kMailMaxAttachmentsSetting[] = ZOBRIK_WIDE("MailMaxAttachments");
inline constexpr WideChar kMailRequestIdleSecondsSetting[] = ZOBRIK_WIDE("MailRequestIdleSeconds");

// How a setting is stored: a switch is a REG_DWORD (0 off, anything else
// on), a number a REG_DWORD, a list a REG_MULTI_SZ.
enum class PolicyValueKind { Switch, Number, List };

struct PolicySettingInfo {
    const WideChar* name;
    PolicyValueKind kind;
};

// Every setting the plug-in reads. The registry reader, the administrative
// template and its test follow this list.
inline constexpr PolicySettingInfo kPolicySettings[] = {
    {kExecChannelSetting, PolicyValueKind::Switch},           {kMailChannelSetting, PolicyValueKind::Switch},
    {kExecAllowedSchemesSetting, PolicyValueKind::List},      {kExecAllowLocalPathsSetting, PolicyValueKind::Switch},
    {kExecAllowNetworkPathsSetting, PolicyValueKind::Switch}, {kExecAllowProgramsSetting, PolicyValueKind::Switch},
    {kExecAllowListSetting, PolicyValueKind::List},           {kExecDenyListSetting, PolicyValueKind::List},
    {kExecConfirmSetting, PolicyValueKind::Switch},           {kExecConfirmTimeoutSetting, PolicyValueKind::Number},
    {kMailAllowOutlookSetting, PolicyValueKind::Switch},      {kMailAllowImmediateSendSetting, PolicyValueKind::Switch},
    {kMailMaxRequestBytesSetting, PolicyValueKind::Number},   {kMailMaxRecipientsSetting, PolicyValueKind::Number},
    {kMailMaxAttachmentsSetting, PolicyValueKind::Number},    {kMailRequestIdleSecondsSetting, PolicyValueKind::Number},
};

// Seconds a confirmation waits for the user before it counts as "Don't open".
inline constexpr uint32_t kDefaultConfirmSeconds = 60;
inline constexpr uint32_t kLongestConfirmSeconds = 3600;

struct AdminPolicy {
    bool execChannel = true;
    bool mailChannel = true;

    // Lower-case schemes without ':'; absent: every scheme the plug-in
    // itself does not refuse; empty: no scheme.
    std::optional<std::vector<WideString>> execAllowedSchemes;
    bool execAllowLocalPaths = true;
    bool execAllowNetworkPaths = true;
    bool execAllowPrograms = true;
    // Wildcard patterns ('*' any run, '?' one character); absent allow list:
    // no restriction by pattern; empty: nothing is opened.
    std::optional<std::vector<WideString>> execAllowList;
    std::vector<WideString> execDenyList;
    bool execConfirm = false;
    uint32_t execConfirmSeconds = kDefaultConfirmSeconds;

    bool mailAllowOutlook = true;
    bool mailAllowImmediateSend = true;
    uint64_t mailMaxRequestBytes = kMaxMailRequestSize;
    uint32_t mailMaxRecipients = kMaxMailRecipients;
    uint32_t mailMaxAttachments = kMaxMailAttachments;
    // Seconds without a chunk after which an unfinished request is ended.
    uint32_t mailRequestIdleSeconds = kMailRequestIdleSeconds;
};

// The policy of one plug-in object, shared by its channels and requests.
using SharedAdminPolicy = std::shared_ptr<const AdminPolicy>;

// A refusal of a request: the setting that refused and why, for the one
// debugger line that reports it. The Linux add-in's built-in refusals, which
// no setting makes, have no setting.
struct PolicyRefusal {
    const WideChar* setting;  // nullptr for a built-in refusal
    WideString reason;
};

}  // namespace zobrik
