#!/usr/bin/env bash
# split --page and tarnovell page: BASE.html carries the set's name, size and files for the page's
# first lines; an existing one is replaced only with --force, and split refuses before writing
# any file of the set.
set -u
tool=$1
source "$(dirname "$0")/../support/shell_checks.sh"

head -c 300000 /dev/urandom >"отпуск 2024.mkv"
$tool split "отпуск 2024.mkv" -s 100K -r 1 --page --base trip >out 2>err
check "split --page" 0 $?
contains "split names the page" out "the joiner page trip.html"
contains "the page's facts: the name" trip.html '"name": "отпуск 2024.mkv"'
contains "the page's facts: the files" trip.html '"pieces": 5'

rm trip.exe trip.c0* trip.r01
echo "not a page" >trip.html
$tool split "отпуск 2024.mkv" -s 100K --page --base trip >out 2>err
check "split --page over an existing BASE.html" 5 $?
[ ! -e trip.exe ] || fail "split wrote the set though it refused the page"

$tool split "отпуск 2024.mkv" -s 100K --base trip -q
$tool page trip.c002 >out 2>err
check "page over an existing BASE.html" 5 $?
contains "it is kept" trip.html "not a page"
$tool page trip.c002 --force >out 2>err
check "page --force, from a piece of the set" 0 $?
contains "the page is written" trip.html '"base": "trip"'
finish_checks "joiner page commands"
