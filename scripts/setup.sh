#!/usr/bin/env bash
# Installs the Debian packages the project builds and runs with. Idempotent: when every package is
# already present it only checks and returns.
set -euo pipefail
packages=(g++ cmake make pkg-config libsqlite3-dev sqlite3 nlohmann-json3-dev libsimdjson-dev libdeflate-dev libicu-dev libcpp-httplib-dev
          libgtest-dev libedit-dev zlib1g-dev curl libpq-dev postgresql qt6-base-dev libsodium-dev util-linux locales
          qt6-translations-l10n libxlsxwriter-dev python3 qt6-charts-dev clickhouse-server clickhouse-client)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# A comma-decimal locale, for the test that reads sums the way a Brazilian desktop runs the host.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd localedef -i pt_BR -f UTF-8 pt_BR.UTF-8
fi
