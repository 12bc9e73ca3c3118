#!/usr/bin/env bash
# Fetches Debian's own source package of libwebp, the same version as the
# installed libwebp-dev, into DEST (default build/windows-deps/src).
#
# The deb-src entries live in a private apt configuration under DEST, so the
# machine's own sources, lists and caches are left untouched.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=${1:-build/windows-deps/src}
version=$(dpkg-query -W -f='${Version}' libwebp-dev)
upstream=${version%%-*}
upstream=${upstream#*:}

if [ -f "$dest/libwebp-$upstream/CMakeLists.txt" ]; then
  echo "$dest/libwebp-$upstream"
  exit 0
fi

apt_root=$(realpath -m "$dest/apt")
mkdir -p "$apt_root/lists/partial" "$apt_root/cache/archives/partial" "$apt_root/sources.list.d"
cat > "$apt_root/sources.list.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES

apt_options=(
  -o "Dir::Etc::SourceList=/dev/null"
  -o "Dir::Etc::SourceParts=$apt_root/sources.list.d"
  -o "Dir::State::Lists=$apt_root/lists"
  -o "Dir::Cache=$apt_root/cache"
  -o "APT::Sandbox::User=root"
  -qq
)
apt-get "${apt_options[@]}" update >&2
mkdir -p "$dest"
# The same version as the Linux build's library, so both encode alike; if the
# archive has moved on since it was installed, the current source will do.
if ! (cd "$dest" && apt-get "${apt_options[@]}" source "libwebp=$version" >&2); then
  echo "fetch_webp_source: libwebp $version is no longer offered; fetching the current source" >&2
  (cd "$dest" && apt-get "${apt_options[@]}" source libwebp >&2)
fi
unpacked=$(find "$dest" -maxdepth 2 -path "$dest/libwebp-*/CMakeLists.txt" -print -quit)
if [ -z "$unpacked" ]; then
  echo "fetch_webp_source: no libwebp source was unpacked into $dest" >&2
  exit 1
fi
dirname "$unpacked"
