#!/bin/sh
# Runs a Linux command for a Windows test program under Wine, which starts Linux programs but
# passes no exit code back: run-linux.sh DIR RESULT COMMAND... runs COMMAND in DIR and writes its
# output to DIR/RESULT.out and then its exit code to DIR/RESULT.code.
cd "$1" || exit 1
result=$2
shift 2
PATH=/usr/local/bin:/usr/bin:/bin
export PATH
"$@" > "$result.out" 2>&1
echo $? > "$result.code.partial"
mv "$result.code.partial" "$result.code"
