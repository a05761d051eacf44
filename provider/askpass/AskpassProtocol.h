#pragma once

// How svnscc-askpass and the provider talk over the provider's private
// socket. The program connects, sends ssh's prompt and shuts its sending
// half down; the provider replies with one byte, Answered followed by the
// answer or Declined alone, and closes the connection. Plain C++: the
// program uses no Qt.

namespace SVNAskpass {

/** The program's file name, beside the plug-in. */
inline constexpr char ProgramName[] = "svnscc-askpass";
/** The environment variable that names the provider's socket. */
inline constexpr char SocketVariable[] = "SVNSCC_ASKPASS_SOCKET";
/** The longest prompt, and the longest answer, either side passes on. */
inline constexpr int MaxBytes = 16384;
/** The reply's first byte. */
inline constexpr char Answered = 'y';
inline constexpr char Declined = 'n';

} // namespace SVNAskpass
