#!/bin/sh
# Unpacks the release zip as a player would and checks it: exactly the exe,
# README.txt and LICENSE.txt, both texts with CR LF line breaks, and the
# SHA256SUMS beside the zip right for the zip and the unpacked exe.
# Given RUN_TEST and WINE, it runs the end-to-end table (RUN_TEST) through the
# unpacked exe under Wine instead, copied into each run's directory beside its
# archive.
#
#   package_test.sh ZIP SCRATCH_DIR [RUN_TEST WINE]   (absolute paths)
set -eu
zip=$1 scratch=$2
. "$(dirname "$0")/scratch.sh"

if [ $# -eq 4 ]; then
  run_test=$3 wine=$4
  unzip -q "$zip" inifixer.exe
  # One command, so that the runs' time limit covers Wine too.
  cat >run-packaged <<END
#!/bin/sh
cp '$scratch/inifixer.exe' . && exec '$wine' inifixer.exe "\$@"
END
  chmod +x run-packaged
  INIFIXER_CRLF=1 INIFIXER_COMMAND="$scratch/run-packaged" \
    "$run_test" --gtest_brief=1
  exit
fi

unzip -Z1 "$zip" >names
printf '%s\n' inifixer.exe README.txt LICENSE.txt | cmp -s - names ||
  fail "the zip holds $(tr '\n' ' ' <names)"
unzip -q "$zip"
for text in README.txt LICENSE.txt; do
  [ -s "$text" ] || fail "$text is empty"
  # Every line, the last one too, ends in CR LF.
  [ "$(grep -c "$(printf '\r')\$" "$text")" = "$(wc -l <"$text")" ] &&
    [ "$(tail -c 1 "$text")" = "" ] || fail "$text has a line without CR LF"
done
cp "$zip" "$(dirname "$zip")/SHA256SUMS" .
sha256sum --strict -c SHA256SUMS
