@echo off
rem run-tests.cmd: runs every test program of this test bundle, prints one
rem line per program and then "N passed, M failed, K skipped", and exits with
rem 1 when anything failed. run-tests-report.txt, written beside it, holds the
rem Windows version, every result and the output of every failed or skipped
rem program: attach it to a bug report. From an elevated prompt it also runs
rem the tests that create services or need a UNC share.
rem
rem   run-tests.cmd [--list] [NAME...]
rem
rem --list lists the cases of every test instead of running them; NAMEs run
rem those tests only. run-tests.exe beside it does the work.
"%~dp0run-tests.exe" %*
exit /b %ERRORLEVEL%
