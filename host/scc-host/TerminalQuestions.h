#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <cstdio>

/**
 * scc-host --ask: the server's and ssh's questions put to the user on the
 * terminal. Each question is written to @p out and its answer read, one
 * line, from the terminal @p input (a descriptor for which isatty() holds;
 * scc-host installs this handler only then). Passwords, passphrases and
 * ssh's secret answers are read with the terminal's echo off. The end of
 * the input declines the question.
 */
class TerminalQuestions final : public SourceCodeControl::SourceCodeControlSystemPromptHandler
{
public:
    TerminalQuestions(int input, std::FILE* out) : m_input(input), m_out(out) {}
    virtual ~TerminalQuestions() = default;

    SourceCodeControl::Credentials credentials(const SourceCodeControl::CredentialsRequest& request) override;
    SourceCodeControl::Trust trustServer(const SourceCodeControl::ServerCertificate& certificate) override;
    bool answerSsh(const SourceCodeControl::SshQuestion& question, QString& answer) override;

private:
    /** Writes @p prompt, reads one line (without its end) into @p line; false at the end of the input. */
    bool ask(const QString& prompt, QString& line, bool secret);

    int m_input;
    std::FILE* m_out;
};
