#!/bin/sh
# Rebuilds the about window's pictures, about.jpg and about.emf, from make_pictures.cpp.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O1 -Wall -Wextra -fPIC make_pictures.cpp -o "$tmp/make_pictures" \
    $(pkg-config --cflags --libs Qt6Gui libjpeg) -luemf
QT_QPA_PLATFORM=offscreen "$tmp/make_pictures" about.jpg about.emf
