// The page kqcam --serve shows at "/": everything inline, nothing fetched
// from elsewhere, so that it works offline. It uses only the HTTP API.
#include "serve.h"

namespace kqcam {

namespace {

const char kPage[] = R"KQPAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kqcam</title>
<style>
:root { --bg:#16181c; --panel:#20242a; --line:#333942; --text:#e6e8eb; --dim:#9aa3ad; --accent:#e0a030; }
* { box-sizing: border-box; }
body { margin:0; background:var(--bg); color:var(--text); font:14px/1.4 system-ui, sans-serif; }
header { display:flex; align-items:baseline; gap:1em; padding:.6em 1em; border-bottom:1px solid var(--line); }
header h1 { font-size:1.1em; margin:0; letter-spacing:.05em; }
#status { color:var(--dim); font-variant-numeric:tabular-nums; }
main { display:grid; grid-template-columns:minmax(0,1fr) 320px; gap:1em; padding:1em; }
@media (max-width:800px) { main { grid-template-columns:1fr; } }
.view { background:#000; border:1px solid var(--line); height:56vh; min-height:240px; }
.view img { width:100%; height:100%; object-fit:contain; display:block; }
.tools { display:flex; flex-wrap:wrap; align-items:center; gap:.8em; margin-top:.6em; }
button { background:var(--accent); color:#111; border:0; border-radius:4px; padding:.55em 1.4em; font-weight:600; cursor:pointer; }
button.plain { background:var(--panel); color:var(--text); border:1px solid var(--line); font-weight:400; }
button:disabled { opacity:.5; cursor:wait; }
#message { color:var(--accent); min-height:1.4em; }
aside { background:var(--panel); border:1px solid var(--line); border-radius:4px; padding:.6em .8em; max-height:calc(56vh + 3em); overflow:auto; }
aside h2, section h2 { font-size:1em; margin:.2em 0 .6em; color:var(--dim); font-weight:500; }
.prop { display:grid; grid-template-columns:1fr 1.2fr; gap:.4em; align-items:center; padding:.3em 0; border-top:1px solid var(--line); }
.prop .name small { color:var(--dim); display:block; font-size:.8em; }
.prop select, .prop input[type=text] { width:100%; background:var(--bg); color:var(--text); border:1px solid var(--line); padding:.25em; }
.prop input[type=range] { width:100%; }
.prop .ro { color:var(--dim); }
section { padding:0 1em 1em; }
#gallery { display:flex; flex-wrap:wrap; gap:.8em; }
#gallery figure { margin:0; width:170px; background:var(--panel); border:1px solid var(--line); border-radius:4px; overflow:hidden; }
#gallery img { width:100%; height:120px; object-fit:cover; display:block; cursor:zoom-in; background:#000; }
#gallery figcaption { padding:.3em .5em; font-size:.85em; display:flex; justify-content:space-between; gap:.5em; word-break:break-all; }
#gallery a { color:var(--accent); }
#empty { color:var(--dim); }
#lightbox { position:fixed; inset:0; background:rgba(0,0,0,.9); display:none; align-items:center; justify-content:center; cursor:zoom-out; }
#lightbox img { max-width:96vw; max-height:96vh; }
</style>
</head>
<body>
<header><h1>kqcam</h1><span id="status">connecting&hellip;</span></header>
<main>
  <div>
    <div class="view"><img id="live" alt="Live view"></div>
    <div class="tools">
      <button id="capture">Capture</button>
      <button id="liveToggle" class="plain">Stop live view</button>
      <label id="zoomBox" hidden>Zoom <input id="zoom" type="range"> <output id="zoomValue"></output></label>
      <span id="message"></span>
    </div>
  </div>
  <aside><h2>Settings</h2><div id="settings"></div></aside>
</main>
<section><h2>Pictures taken</h2><p id="empty">None yet.</p><div id="gallery"></div></section>
<div id="lightbox"><img alt=""></div>
<script>
"use strict";
const token = new URLSearchParams(location.search).get("token");
const $ = (id) => document.getElementById(id);
function url(path) {
  return token ? path + (path.includes("?") ? "&" : "?") + "token=" + encodeURIComponent(token) : path;
}
async function call(method, path, body) {
  const options = { method, headers: {} };
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  const response = await fetch(url(path), options);
  const data = await response.json().catch(() => null);
  if (!response.ok) throw new Error((data && data.error) || response.status + " " + response.statusText);
  return data;
}
function say(text) { $("message").textContent = text || ""; }

const state = { camera: "", fps: 0, lastEvent: "", live: true };
function showStatus() {
  const parts = [state.camera || "no camera", state.live ? state.fps.toFixed(0) + " fps" : "live view off"];
  if (state.lastEvent) parts.push("last event: " + state.lastEvent);
  $("status").textContent = parts.join(" \u00b7 ");
}

function startLive() { $("live").src = url("/api/live?t=" + Date.now()); state.live = true; $("liveToggle").textContent = "Stop live view"; }
function stopLive() { $("live").removeAttribute("src"); state.live = false; $("liveToggle").textContent = "Start live view"; }
$("liveToggle").onclick = () => { state.live ? stopLive() : startLive(); showStatus(); };

// Settings panel: one row per property, built from its descriptor.
function propRow(p) {
  const row = document.createElement("div");
  row.className = "prop";
  row.dataset.code = p.code;
  const name = document.createElement("div");
  name.className = "name";
  name.innerHTML = "<span></span><small></small>";
  name.firstChild.textContent = p.name || p.code;
  name.lastChild.textContent = p.code + " " + p.type;
  row.appendChild(name);
  let control;
  if (p.readonly) {
    control = document.createElement("span");
    control.className = "ro";
    control.textContent = p.current.label;
  } else if (p.form === "enumeration") {
    control = document.createElement("select");
    for (const c of p.choices) {
      const option = document.createElement("option");
      option.value = c.index;
      option.textContent = c.label;
      option.selected = c.value === p.current.value;
      control.appendChild(option);
    }
    control.onchange = () => setProp(p.code, { index: Number(control.value) });
  } else if (p.form === "range") {
    control = document.createElement("span");
    const slider = document.createElement("input");
    slider.type = "range";
    slider.min = p.minimum.value; slider.max = p.maximum.value; slider.step = p.step.value || 1;
    slider.value = p.current.value;
    const out = document.createElement("output");
    out.textContent = " " + p.current.label;
    slider.oninput = () => { out.textContent = " " + slider.value; };
    slider.onchange = () => setProp(p.code, { value: Number(slider.value) });
    control.append(slider, out);
  } else {
    control = document.createElement("input");
    control.type = "text";
    control.value = p.current.hex;
    control.onchange = () => setProp(p.code, { value: control.value });
  }
  control.dataset.code = p.code;
  row.appendChild(control);
  return row;
}
function showProp(p) {
  const old = document.querySelector('.prop[data-code="' + p.code + '"]');
  const row = propRow(p);
  if (old) old.replaceWith(row); else $("settings").appendChild(row);
  if (p.code === "0xD02A") {
    $("zoomBox").hidden = p.readonly || p.form !== "range";
    const zoom = $("zoom");
    zoom.min = p.minimum ? p.minimum.value : 0; zoom.max = p.maximum ? p.maximum.value : 0;
    zoom.step = p.step ? p.step.value || 1 : 1; zoom.value = p.current.value;
    $("zoomValue").textContent = p.current.value;
  }
}
async function setProp(code, body) {
  try {
    showProp(await call("PUT", "/api/config/" + code, body));
    say("");
  } catch (e) {
    say(e.message);
    refreshProp(code);
  }
}
async function refreshProp(code) {
  try { showProp(await call("GET", "/api/config/" + code)); } catch (e) { say(e.message); }
}
$("zoom").oninput = () => { $("zoomValue").textContent = $("zoom").value; };
$("zoom").onchange = () => setProp("0xD02A", { value: Number($("zoom").value) });

// Gallery.
function addShot(shot) {
  $("empty").hidden = true;
  const old = document.querySelector('#gallery figure[data-name="' + CSS.escape(shot.name) + '"]');
  const figure = document.createElement("figure");
  figure.dataset.name = shot.name;
  const img = document.createElement("img");
  img.loading = "lazy";
  img.alt = shot.name;
  img.src = url(shot.url + "?v=" + shot.time);
  img.onclick = () => { $("lightbox").firstChild.src = img.src; $("lightbox").style.display = "flex"; };
  const caption = document.createElement("figcaption");
  const name = document.createElement("span");
  name.textContent = shot.name;
  const link = document.createElement("a");
  link.href = url(shot.url + "?download=1");
  link.textContent = "download";
  link.setAttribute("download", shot.name.split("/").pop());
  caption.append(name, link);
  figure.append(img, caption);
  if (old) old.remove();
  $("gallery").prepend(figure);
}
$("lightbox").onclick = () => { $("lightbox").style.display = "none"; };

$("capture").onclick = async () => {
  $("capture").disabled = true;
  say("Capturing\u2026");
  try {
    const shot = await call("POST", "/api/capture", {});
    addShot(shot);
    say("Saved " + shot.name);
  } catch (e) {
    say(e.message);
  } finally {
    $("capture").disabled = false;
  }
};

function listen() {
  const events = new EventSource(url("/api/events"));
  events.addEventListener("shot", (e) => addShot(JSON.parse(e.data)));
  events.addEventListener("config", (e) => refreshProp(JSON.parse(e.data).code));
  events.addEventListener("camera", (e) => {
    const d = JSON.parse(e.data);
    state.lastEvent = (d.name || d.code) + " " + new Date().toLocaleTimeString();
    showStatus();
  });
}

async function poll() {
  try {
    const s = await call("GET", "/api/status");
    state.camera = s.camera;
    state.fps = s.live.fps;
    showStatus();
  } catch (e) {
    $("status").textContent = "server unreachable";
  }
  setTimeout(poll, 1000);
}

(async () => {
  startLive();
  listen();
  poll();
  try {
    for (const p of await call("GET", "/api/config")) showProp(p);
    for (const shot of await call("GET", "/api/shots")) addShot(shot);
  } catch (e) {
    say(e.message);
  }
})();
</script>
</body>
</html>
)KQPAGE";

}  // namespace

const char* ServePage() { return kPage; }

}  // namespace kqcam
