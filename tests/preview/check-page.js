// Opens a preview page in Debian's chromium (headless, through puppeteer-core) on a laptop's screen and on a
// phone's and checks it against the report of the same choice: every picture loaded, the sizes and counts on the
// page equal report --json's, each pair's two close-ups side by side at the original's pixel size, several pairs a
// screen on the laptop and one a row on the phone, no sideways scrolling, words large enough to read, a click
// showing a pair larger. Keeps a screenshot of each screen. Prints one PASS or FAIL line per check; exits 1 when
// one failed.
// usage: node check-page.js PAGE.html REPORT.json LAPTOP.png PHONE.png
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [pagePath, reportPath, laptopShot, phoneShot] = process.argv.slice(2);
// The page of the sample's 24 pairs at 1366 pixels wide was 8157 pixels tall when each pair was drawn whole.
// With the textures lost the most on beside those saved the most on, 5000.
const LAPTOP_MAX_HEIGHT = 5000;
let failed = 0;
function check(ok, what) {
    console.log(`${ok ? 'PASS' : 'FAIL'} ${what}`);
    if (!ok) failed++;
}

// What a screen shows of the page: its pictures, its numbers, and where the pairs and their close-ups lie.
function look() {
    const data = (e) => Object.fromEntries(Object.entries(e.dataset).map(([k, v]) => [k, Number(v)]));
    const box = (e) => e.getBoundingClientRect();
    const shown = [...document.images].filter((i) => i.getAttribute('src'));
    const pairs = [...document.querySelectorAll('.pair')];
    const texts = [...document.querySelectorAll('body *')].filter((e) =>
        [...e.childNodes].some((n) => n.nodeType === Node.TEXT_NODE && n.textContent.trim()));
    return {
        images: shown.length,
        loaded: shown.filter((i) => i.complete && i.naturalWidth > 0).length,
        archives: [...document.querySelectorAll('tr.archive')].map(data),
        counts: data(document.getElementById('counts')),
        bars: document.querySelectorAll('.bars .bar').length,
        points: document.querySelectorAll('.curve circle.choice').length,
        curve: (document.getElementById('fit-curve')?.getAttribute('points') || '').trim().split(/\s+/)
            .filter(Boolean).map((p) => p.split(',').map(Number)),
        losers: [...document.querySelectorAll('#loses-most .pair p')].map(
            (p) => Number((p.textContent.match(/([0-9.]+) dB close up/) || [])[1])),
        height: document.documentElement.scrollHeight,
        sideways: document.documentElement.scrollWidth > window.innerWidth,
        smallestText: Math.min(...texts.map((e) => parseFloat(getComputedStyle(e).fontSize))),
        columns: new Set(pairs.map((p) => Math.round(box(p).left))).size,
        pairs: pairs.map((p) => {
            const [a, b] = [...p.querySelectorAll('.detail img')];
            const small = p.querySelector('.small img');
            if (!a || !b || !small) return null;
            return {
                small: small.complete && small.naturalWidth > 0,
                sideBySide: Math.abs(box(a).top - box(b).top) < 1 && box(a).right <= box(b).left,
                sameSize: Math.abs(box(a).width - box(b).width) < 1 && Math.abs(box(a).height - box(b).height) < 1,
                pixelForPixel: box(a).width === a.naturalWidth && box(a).height === a.naturalHeight &&
                    a.naturalWidth === b.naturalWidth && a.naturalHeight === b.naturalHeight,
            };
        }),
    };
}

(async () => {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'pellmor-chromium-'));
    // Without these the browser reaches for the network, which the closed network refuses.
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
               '--disable-background-networking', '--disable-component-update', '--disable-sync',
               `--user-data-dir=${profile}`],
    });
    try {
        const page = await browser.newPage();
        const requests = [];
        page.on('request', (r) => requests.push(r.url()));
        const report = JSON.parse(fs.readFileSync(reportPath, 'utf8'));

        await page.setViewport({width: 1366, height: 768});
        await page.goto('file://' + path.resolve(pagePath), {waitUntil: 'load'});
        const laptop = await page.evaluate(look);
        check(laptop.images > 0 && laptop.loaded === laptop.images,
              `every picture loaded (${laptop.loaded} of ${laptop.images})`);
        check(laptop.archives.length === 1 && laptop.archives[0].bytes === report.bytes &&
              laptop.archives[0].estimatedBytes === report.estimatedBytes,
              `sizes as report --json: ${JSON.stringify(laptop.archives)}`);
        const t = report.textures;
        check(laptop.counts.total === t.total && laptop.counts.change === t.change && laptop.counts.skip === t.skip &&
              laptop.counts.stay === t.stay, `texture counts as report --json: ${JSON.stringify(laptop.counts)}`);
        check(laptop.bars === 7 && laptop.points === 6, `a bar for today and each of the six choices, and a point on ` +
              `the curve for each choice (${laptop.bars}, ${laptop.points})`);
        const c = laptop.curve;
        check(c.length >= 2 && c.every((p, i) => i === 0 || (p[0] <= c[i - 1][0] && p[1] >= c[i - 1][1])),
              `the curve falls in size and rises in loss, point by point (${c.length} points)`);
        const l = laptop.losers;
        check(l.length > 0 && l.every((d, i) => d >= 0 && (i === 0 || d >= l[i - 1])),
              `the textures lost the most on, the lowest dB first: ${l.join(', ')}`);
        const pairs = laptop.pairs.filter(Boolean);
        check(pairs.length > 0 && pairs.every((p) => p.small && p.sideBySide && p.sameSize && p.pixelForPixel),
              `each pair small and its close-ups side by side, pixel for pixel (${pairs.length} pairs)`);
        check(laptop.columns >= 3 && laptop.height <= LAPTOP_MAX_HEIGHT && !laptop.sideways,
              `1366x768: ${laptop.columns} pairs a row, the page ${laptop.height} pixels tall`);
        await page.screenshot({path: laptopShot});

        // A click shows the pair across the whole row, its whole pictures fetched then and drawn side by side at one
        // size.
        await page.click('.pair');
        await page.waitForFunction(() => [...document.querySelectorAll('.zoom .whole img')].every(
            (i) => i.complete && i.naturalWidth > 0), {timeout: 10000});
        const zoomed = await page.evaluate(() => {
            const p = document.querySelector('.pair.zoom');
            const [a, b] = [...p.querySelectorAll('.whole img')].map((i) => i.getBoundingClientRect());
            const crop = p.querySelector('.detail img');
            return {
                across: p.getBoundingClientRect().width >= p.parentElement.getBoundingClientRect().width - 1,
                sideBySide: Math.abs(a.top - b.top) < 1 && a.right <= b.left && a.width > 0 &&
                    Math.abs(a.width - b.width) < 1 && Math.abs(a.height - b.height) < 1,
                crop: crop.getBoundingClientRect().width / crop.naturalWidth,
            };
        });
        check(zoomed.across && zoomed.sideBySide && zoomed.crop === 2,
              `a click shows the pair larger: ${JSON.stringify(zoomed)}`);

        await page.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true});
        await page.goto('file://' + path.resolve(pagePath), {waitUntil: 'load'});
        const phone = await page.evaluate(look);
        check(!phone.sideways && phone.columns === 1 && phone.smallestText >= 14 &&
              phone.pairs.filter(Boolean).every((p) => p.sideBySide && p.pixelForPixel),
              `390x844: one pair a row, no sideways scrolling, text of ${phone.smallestText} pixels or more, ` +
              `page ${phone.height} pixels tall`);
        await page.screenshot({path: phoneShot});
        check(requests.every((u) => u.startsWith('file:')), 'nothing asked of the network');
    } finally {
        await browser.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
    process.exit(failed ? 1 : 0);
})().catch((e) => {
    console.log(`FAIL ${e.message}`);
    process.exit(1);
});
