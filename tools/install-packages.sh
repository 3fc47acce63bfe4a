#!/usr/bin/env bash
# Installs the Debian packages named on the command line (as root), for tools/demo.sh,
# tools/test.sh and .ci/run.
#
# A package mirror in the middle of a sync answers with index files that do not match their
# Release file; apt then ignores that index. The update and install are tried again, for up to
# 20 minutes. When the index ignored is the security suite's i386 one, 32-bit packages (wine32:i386)
# cannot be resolved at all: the 64-bit libraries installed from the security suite have no i386
# twin of the same version in any index apt still reads, and a Multi-Arch: same pair must match.
# Then the install is also tried this way before waiting: the release's own suites are preferred
# (APT::Default-Release), and the i386 twin of each such library in the packages' dependencies is
# taken from the security suite's pool, where it lies under its package name and version.
set -euo pipefail
[ "$#" -gt 0 ] || exit 0
export DEBIAN_FRONTEND=noninteractive
attempts=${ZQ_APT_ATTEMPTS:-20}

# The i386 twins of installed Multi-Arch: same amd64 packages newer than any i386 version offered,
# among the dependencies of the packages asked for, downloaded into $1. Prints their paths.
fetch_i386_twins() {
  local into=$1 site package source version newest file prefix url
  shift
  site=$(apt-get indextargets --format '$(SITE) $(RELEASE)' 2>/dev/null |
    awk '$2 ~ /-security$/ {print $1; exit}')
  [ -n "$site" ] || return 0
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$@" 2>/dev/null | grep -o '^[a-z0-9][^ ]*:i386' | sort -u |
    while read -r package; do
      package=${package%:i386}
      read -r version source < <(dpkg-query -W -f='${Version} ${source:Package}\n' \
        "$package:amd64" 2>/dev/null | grep -v '^ ' || true) || true
      [ -n "${version:-}" ] || continue
      dpkg-query -W -f='${Multi-Arch}\n' "$package:amd64" 2>/dev/null | grep -qx same || continue
      # Only a version newer than every i386 one offered: an older one is upgraded to its twin.
      newest=$(apt-cache madison "$package:i386" 2>/dev/null |
        awk -F'|' '{gsub(/ /, "", $2); print $2; exit}')
      [ -z "$newest" ] || dpkg --compare-versions "$version" gt "$newest" || continue
      # Pool folders are named by source package: "libfoo" under "libf/", the rest by first letter.
      prefix=${source:0:1}
      [[ $source == lib?* ]] && prefix=${source:0:4}
      file="${package}_${version#*:}_i386.deb"
      url="$site/pool/updates/main/$prefix/$source/$file"
      if curl -fsS -o "$into/$file" "$url" 2>/dev/null; then
        echo "$into/$file"
      else
        echo "install-packages: $url could not be fetched" >&2
      fi
      version=
    done
}

install_preferring_release() {
  local codename twins=() twin
  grep -q ':i386' <<<"$*" || return 1
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  local into
  into=$(mktemp -d)
  chmod 755 "$into"
  while read -r twin; do twins+=("$twin"); done < <(fetch_i386_twins "$into" "$@")
  echo "install-packages: preferring $codename's own suites, with ${#twins[@]} i386 twin(s) from its security pool"
  local ok=0
  apt-get install -y -qq --no-install-recommends -o APT::Default-Release="$codename" \
    "$@" "${twins[@]}" || ok=$?
  rm -rf "$into"
  return "$ok"
}

for attempt in $(seq 1 "$attempts"); do
  apt-get update -qq || echo "install-packages: the package index is incomplete (a mirror mid-sync?)"
  if apt-get install -y -qq --no-install-recommends "$@" || install_preferring_release "$@"; then
    exit 0
  fi
  [ "$attempt" -lt "$attempts" ] || { echo "install-packages: $* could not be installed" >&2; exit 1; }
  echo "install-packages: apt failed (attempt $attempt of $attempts): trying again in 60 s"
  sleep 60
done
