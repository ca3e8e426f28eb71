#!/usr/bin/env python3
"""The main job from the site's page, under Wine: the control and the relay library placed side by
side as an installation places them, the control registered with regsvr32, then the robot
(page_robot.exe) opens the page (main_job.js under cscript) and answers what the library shows,
and the control is unregistered again, whatever happened.

The test relay server must listen on the deployment's raw port, its ports file named by
V7_RELAYD_PORTS (a Windows path), for the robot's phones.

usage: page_job.py --emulator <wine-run.sh> --arch win32|win64 --ocx <host path> --library <host path>
           --robot <host path> --page <host path> --ckapp-dir <host dir> --language ko|en
           --work <host dir> [--interactive] [--scenario job|cancel]
"""
import argparse
import os
import shutil
import subprocess
import sys


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--emulator", "--arch", "--ocx", "--library", "--robot", "--page", "--ckapp-dir", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--language", choices=["ko", "en"], default="en")
    parser.add_argument("--interactive", action="store_true")
    parser.add_argument("--scenario", choices=["job", "cancel"], default="job",
                        help="the whole job, or a receive the person cancels at once")
    args = parser.parse_args()
    for name in ("emulator", "ocx", "library", "robot", "page", "ckapp_dir", "work"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    if not os.environ.get("V7_RELAYD_PORTS"):
        print("page_job: V7_RELAYD_PORTS names no relay server", file=sys.stderr)
        return 2
    shots = os.path.join(args.work, "screenshots")
    binary = os.path.join(args.work, "bin")
    os.makedirs(shots, exist_ok=True)
    os.makedirs(binary, exist_ok=True)
    ocx = os.path.join(binary, os.path.basename(args.ocx))
    shutil.copyfile(args.ocx, ocx)
    shutil.copyfile(args.library, os.path.join(binary, os.path.basename(args.library)))

    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env.update({
        "V7_PAGE_SCRIPT": windows_path(args.page),
        "V7_PAGE_LANGUAGE": args.language,
        "V7_CKAPP_DIR": windows_path(args.ckapp_dir),
        "V7_SCREENSHOT_DIR": windows_path(shots),
        "V7_DEMO_INTERACTIVE": "1" if args.interactive else "0",
    })
    wine = [args.emulator, args.arch]
    registered = subprocess.run(wine + ["regsvr32", "/s", windows_path(ocx)], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if registered.returncode != 0:
        print(f"page_job: regsvr32 {ocx} exited {registered.returncode}", file=sys.stderr)
        return 1
    print("demo: control registered in the Wine prefix (CERTRELAYACTIVEX.CertRelayActiveXCtrl.1)", flush=True)
    try:
        wanted = "*Cancelled*" if args.scenario == "cancel" else "*ThenASend*"
        robot = subprocess.run(wine + [args.robot, "--gtest_brief=1", "--gtest_color=no",
                                       "--gtest_filter=PageMainJob." + wanted], env=env,
                               cwd=args.work, stdin=subprocess.DEVNULL, timeout=1800 if args.interactive else 900)
        status = robot.returncode
    except subprocess.TimeoutExpired:
        print("page_job: the robot did not finish in time", file=sys.stderr)
        status = 1
    finally:
        subprocess.run(wine + ["regsvr32", "/s", "/u", windows_path(ocx)], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return status


if __name__ == "__main__":
    sys.exit(main())
