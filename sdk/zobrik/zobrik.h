// The Zobrik SDK for applications in a Remote Desktop session that use the
// Zobrik plug-in of the user's Remote Desktop client. Header-only, C++17
// standard library only; include this header or the single parts:
//
//   channels.h             channel names and size limits
//   mail_request_writer.h  the mail request's wire format, byte by byte
//   mail_message.h         MailMessage, BuildMailRequest, LoadAttachment
//   address.h              Recipient, ParseRecipient, AddressProblem
//   replies.h              ParseExecReply, ParseMailReply
//   channel_pdu.h          joining channel reads (CHANNEL_PDU_HEADER) into messages
//   exec_message.h         ExecMessage, the exec channel's message for a text
//   channel_transport.h    ChannelTransport, ChannelError
//   client_calls.h         OpenOnClient, SendMail over a ChannelTransport
//
// Windows programs in a Remote Desktop session add "zobrik/wts_channel.h"
// (the session's channels; link wtsapi32), which this header leaves out so
// that it stays portable.
#pragma once

#include "address.h"
#include "channel_pdu.h"
#include "channel_transport.h"
#include "channels.h"
#include "client_calls.h"
#include "exec_message.h"
#include "mail_message.h"
#include "mail_request_writer.h"
#include "replies.h"
