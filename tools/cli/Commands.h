#pragma once

#include <QStringList>

// Exit statuses shared by every subcommand.
enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// Each takes the arguments after the subcommand's name.
int runSearchCommand(const QStringList &arguments);
int runConvertCommand(const QStringList &arguments);
