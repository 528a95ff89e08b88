#include "numeric/elementary.hpp"

#include <cmath>
#include <limits>

// Tables and coefficients printed by scripts/elementary_tables.py.
namespace portable {
namespace detail {
// 2^(j/32) = exp_table[j][0] + exp_table[j][1].
const double exp_table[32][2] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
};
// Per interval: c (at most 10 significant bits, near 1 / the interval's centre), and
// -ln c as a multiple of 2^-42 plus the rest.
const double log_table[128][3] = {
    {0x1.6a00000000000p+0, -0x1.62c82f2b9c000p-2, -0x1.e54bdbd7c8a98p-44},
    {0x1.6800000000000p+0, -0x1.5d1bdbf581000p-2, 0x1.8d6bdc9c7c238p-44},
    {0x1.6600000000000p+0, -0x1.5767717456000p-2, 0x1.64ead9524d7cap-44},
    {0x1.6400000000000p+0, -0x1.51aad872e0000p-2, 0x1.f4bd8db0a7cc1p-44},
    {0x1.6200000000000p+0, -0x1.4be5f95778000p-2, 0x1.d7c92cd9ad824p-44},
    {0x1.6080000000000p+0, -0x1.478cd5959b000p-2, -0x1.ec89bf0c8d098p-45},
    {0x1.5e80000000000p+0, -0x1.41b941cce1000p-2, 0x1.0469013e43fc9p-44},
    {0x1.5c80000000000p+0, -0x1.3bdd24eb15000p-2, 0x1.257b4970e6ed9p-44},
    {0x1.5b00000000000p+0, -0x1.3772662bfe000p-2, 0x1.e9436ac53b023p-44},
    {0x1.5900000000000p+0, -0x1.31871c9544000p-2, -0x1.84fab94cecfd9p-46},
    {0x1.5700000000000p+0, -0x1.2b9303ab8a000p-2, 0x1.6db12d6bfb0a5p-45},
    {0x1.5580000000000p+0, -0x1.27161913f8000p-2, -0x1.4f4f1f61564b4p-44},
    {0x1.5380000000000p+0, -0x1.2112559861000p-2, -0x1.82e78ba2950c4p-44},
    {0x1.5200000000000p+0, -0x1.1c898c169a000p-2, 0x1.81410e5c62affp-44},
    {0x1.5000000000000p+0, -0x1.1675cababa000p-2, -0x1.8380e731f55c4p-44},
    {0x1.4e80000000000p+0, -0x1.11e0e2dada000p-2, 0x1.a47f88fcce5bap-45},
    {0x1.4c80000000000p+0, -0x1.0bbccdb0d2000p-2, -0x1.2f32ccc5dcdfbp-44},
    {0x1.4b00000000000p+0, -0x1.071b85fcd6000p-2, 0x1.bcb8ba3e01a11p-44},
    {0x1.4980000000000p+0, -0x1.0274dc16c2000p-2, -0x1.979e89cf835c2p-45},
    {0x1.4780000000000p+0, -0x1.f871b28956000p-3, 0x1.f75fd6a526efep-44},
    {0x1.4600000000000p+0, -0x1.ef0adcbdc6000p-3, 0x1.b26b79c86af24p-45},
    {0x1.4480000000000p+0, -0x1.e598ed5a88000p-3, 0x1.d134bcf1e98a1p-47},
    {0x1.4300000000000p+0, -0x1.dc1bca0abe000p-3, -0x1.8fac1a628ccc6p-44},
    {0x1.4180000000000p+0, -0x1.d293581b6c000p-3, 0x1.83270128aaa5fp-44},
    {0x1.3f80000000000p+0, -0x1.c5cba543ae000p-3, -0x1.0929decb454fcp-45},
    {0x1.3e00000000000p+0, -0x1.bc286742d8000p-3, -0x1.9ac53f39d121cp-44},
    {0x1.3c80000000000p+0, -0x1.b2797ee464000p-3, 0x1.be88a906d00a9p-44},
    {0x1.3b00000000000p+0, -0x1.a8becfc882000p-3, -0x1.e3185cf21b9cfp-44},
    {0x1.3980000000000p+0, -0x1.9ef83d276a000p-3, 0x1.730b7b3f9ce00p-45},
    {0x1.3800000000000p+0, -0x1.9525a9cf46000p-3, 0x1.297137d9f158fp-44},
    {0x1.3680000000000p+0, -0x1.8b46f82236000p-3, -0x1.2d9f2102dd7c9p-46},
    {0x1.3500000000000p+0, -0x1.815c0a1436000p-3, 0x1.02a52f9201ce8p-44},
    {0x1.3380000000000p+0, -0x1.7764c128f2000p-3, -0x1.274903479e3d1p-47},
    {0x1.3200000000000p+0, -0x1.6d60fe719e000p-3, 0x1.bc6e557134767p-44},
    {0x1.3100000000000p+0, -0x1.66acd4272a000p-3, -0x1.aa1bdbfc6c785p-44},
    {0x1.2f80000000000p+0, -0x1.5c94007598000p-3, 0x1.a8d948cd23322p-44},
    {0x1.2e00000000000p+0, -0x1.526e5e3a1c000p-3, 0x1.790ba37fc5238p-44},
    {0x1.2c80000000000p+0, -0x1.483bccce6e000p-3, -0x1.eea52723f6369p-46},
    {0x1.2b80000000000p+0, -0x1.41682bf728000p-3, 0x1.10047081f849dp-45},
    {0x1.2a00000000000p+0, -0x1.371fc201e8000p-3, -0x1.ee8779b2d8abcp-44},
    {0x1.2880000000000p+0, -0x1.2cca0f5f60000p-3, 0x1.b5ef191aff120p-44},
    {0x1.2700000000000p+0, -0x1.2266f190a6000p-3, 0x1.4d20ab840e7f6p-45},
    {0x1.2600000000000p+0, -0x1.1b72ad52f6000p-3, -0x1.e80a41811a396p-45},
    {0x1.2480000000000p+0, -0x1.10f8e42254000p-3, 0x1.93b3843396307p-45},
    {0x1.2380000000000p+0, -0x1.09f561ee72000p-3, 0x1.8f3057157d1a8p-45},
    {0x1.2200000000000p+0, -0x1.fec9131dc0000p-4, 0x1.54555d1ae6607p-44},
    {0x1.2080000000000p+0, -0x1.e98b549670000p-4, -0x1.4677489c50e97p-44},
    {0x1.1f80000000000p+0, -0x1.db5270187c000p-4, -0x1.9277856ae181fp-44},
    {0x1.1e00000000000p+0, -0x1.c5e548f5bc000p-4, -0x1.d0c57585fbe06p-46},
    {0x1.1d00000000000p+0, -0x1.b78c82bb10000p-4, 0x1.25ef7bc3987e7p-44},
    {0x1.1b80000000000p+0, -0x1.a1ef1d8060000p-4, -0x1.cd4176df97bcbp-44},
    {0x1.1a80000000000p+0, -0x1.9375e55594000p-4, -0x1.eddc37380c364p-44},
    {0x1.1980000000000p+0, -0x1.84ef898e84000p-4, 0x1.7d5cd246977c9p-44},
    {0x1.1800000000000p+0, -0x1.6f0d28ae58000p-4, 0x1.4b4641b664613p-44},
    {0x1.1700000000000p+0, -0x1.60658a9374000p-4, -0x1.0c3b1dee9c4f8p-44},
    {0x1.1580000000000p+0, -0x1.4a50d3aa1c000p-4, 0x1.f7fe1308973e2p-45},
    {0x1.1480000000000p+0, -0x1.3b87598b1c000p-4, 0x1.2241594aca313p-45},
    {0x1.1380000000000p+0, -0x1.2cb0283f5c000p-4, -0x1.e1ee2ca657021p-44},
    {0x1.1200000000000p+0, -0x1.16536eea38000p-4, 0x1.47c5e768fa309p-46},
    {0x1.1100000000000p+0, -0x1.0759835990000p-4, 0x1.b8ecfe4b59987p-44},
    {0x1.1000000000000p+0, -0x1.f0a30c0118000p-5, 0x1.d599e83368e91p-45},
    {0x1.0f00000000000p+0, -0x1.d276b8adb0000p-5, -0x1.6a423c78a64b0p-46},
    {0x1.0d80000000000p+0, -0x1.a4fe9ffa40000p-5, 0x1.6e584a0402925p-44},
    {0x1.0c80000000000p+0, -0x1.868a830840000p-5, 0x1.2623a134ac693p-46},
    {0x1.0b80000000000p+0, -0x1.67f94f0948000p-5, -0x1.ecc1f3e7e4ed7p-44},
    {0x1.0a80000000000p+0, -0x1.494acc34d8000p-5, -0x1.11c78a56fd247p-45},
    {0x1.0980000000000p+0, -0x1.2a7ec22150000p-5, 0x1.78ce77a9163fep-45},
    {0x1.0880000000000p+0, -0x1.0b94f7c198000p-5, 0x1.e89896f022783p-45},
    {0x1.0700000000000p+0, -0x1.b9fc027b00000p-6, 0x1.b9a010ae6922ap-44},
    {0x1.0600000000000p+0, -0x1.7b91b07d60000p-6, 0x1.3b955b602ace4p-44},
    {0x1.0500000000000p+0, -0x1.3cea443470000p-6, 0x1.6a2c432d6a40bp-44},
    {0x1.0400000000000p+0, -0x1.fc0a8b0fc0000p-7, -0x1.f1e7cf6d3a69cp-50},
    {0x1.0300000000000p+0, -0x1.7dc475f820000p-7, 0x1.eb1245b5da1f5p-44},
    {0x1.0200000000000p+0, -0x1.fe02a6b100000p-8, -0x1.9e23f0dda40e4p-46},
    {0x1.0100000000000p+0, -0x1.ff00aa2b00000p-9, -0x1.0bc04a086b56ap-45},
    {0x1.0000000000000p+0, 0x0.0p+0, 0x0.0p+0},
    {0x1.fc00000000000p-1, 0x1.0101575880000p-7, 0x1.bce251998b506p-44},
    {0x1.f800000000000p-1, 0x1.0205658930000p-6, 0x1.611d27c8e8417p-44},
    {0x1.f480000000000p-1, 0x1.74321d3d00000p-6, 0x1.b4a690fe94778p-48},
    {0x1.f080000000000p-1, 0x1.f7a9b16780000p-6, 0x1.42ad9271be7d7p-45},
    {0x1.ed00000000000p-1, 0x1.35c8bfaa10000p-5, 0x1.8357d5ef9eb35p-44},
    {0x1.e900000000000p-1, 0x1.788595a358000p-5, -0x1.08b0d083b3a4cp-46},
    {0x1.e580000000000p-1, 0x1.b35dd9b588000p-5, 0x1.d5674d6cf558ep-44},
    {0x1.e200000000000p-1, 0x1.eea31c0068000p-5, 0x1.c3dd83606d891p-44},
    {0x1.de80000000000p-1, 0x1.152b799bb4000p-4, -0x1.9bb2907030829p-47},
    {0x1.db00000000000p-1, 0x1.333d7f8184000p-4, -0x1.692b6a81b8848p-49},
    {0x1.d780000000000p-1, 0x1.5188742260000p-4, 0x1.30a1d96258b3ep-44},
    {0x1.d400000000000p-1, 0x1.700d30aeac000p-4, 0x1.c1e8da99ded32p-49},
    {0x1.d100000000000p-1, 0x1.8a6477a91c000p-4, 0x1.c28c0af9bd6dfp-44},
    {0x1.cd80000000000p-1, 0x1.a956d3ecac000p-4, 0x1.e63794c02c4afp-44},
    {0x1.ca80000000000p-1, 0x1.c40d6425a4000p-4, 0x1.cb1121d1930ddp-44},
    {0x1.c700000000000p-1, 0x1.e3707ee304000p-4, 0x1.0f684e6766abdp-45},
    {0x1.c400000000000p-1, 0x1.fe89139dbc000p-4, 0x1.56594d82f7a82p-44},
    {0x1.c100000000000p-1, 0x1.0ce7ecdccc000p-3, 0x1.4652dabff5447p-46},
    {0x1.be00000000000p-1, 0x1.1aa2b7e240000p-3, -0x1.1ac38dde3b366p-44},
    {0x1.bb00000000000p-1, 0x1.28753bc11a000p-3, 0x1.7494e359302e6p-44},
    {0x1.b800000000000p-1, 0x1.365fcb015a000p-3, -0x1.fd3a0afb9691bp-44},
    {0x1.b500000000000p-1, 0x1.4462b9dc9c000p-3, -0x1.84858a711b062p-44},
    {0x1.b200000000000p-1, 0x1.527e5e4a1c000p-3, -0x1.4e60b8d4b411dp-44},
    {0x1.af00000000000p-1, 0x1.60b3100b0a000p-3, -0x1.71456c988f814p-44},
    {0x1.ac80000000000p-1, 0x1.6c9d07d204000p-3, -0x1.c73fafd9b2dcap-50},
    {0x1.a980000000000p-1, 0x1.7b00916516000p-3, -0x1.ae75fcb067e57p-44},
    {0x1.a700000000000p-1, 0x1.871213750e000p-3, 0x1.328eb42f9af75p-44},
    {0x1.a400000000000p-1, 0x1.95a5adcf70000p-3, 0x1.7f22858a0ff6fp-47},
    {0x1.a180000000000p-1, 0x1.a1dfc40f1c000p-3, -0x1.01e0f004f3781p-44},
    {0x1.9f00000000000p-1, 0x1.ae2ca6f672000p-3, 0x1.7a8d5ae54f550p-44},
    {0x1.9c00000000000p-1, 0x1.bd087383be000p-3, -0x1.d4bc4595412b6p-45},
    {0x1.9980000000000p-1, 0x1.c97f8079d4000p-3, 0x1.3b161a8c6e6c5p-45},
    {0x1.9700000000000p-1, 0x1.d60a17f904000p-3, -0x1.5d6e06fc20d39p-44},
    {0x1.9480000000000p-1, 0x1.e2a877a6b2000p-3, 0x1.823817787081ap-44},
    {0x1.9200000000000p-1, 0x1.ef5ade4dd0000p-3, -0x1.a211565bb8e11p-51},
    {0x1.8f80000000000p-1, 0x1.fc218be620000p-3, 0x1.4bba46f1cf6a0p-44},
    {0x1.8d00000000000p-1, 0x1.047e60cde8000p-2, 0x1.dbdf10d397f3cp-45},
    {0x1.8b00000000000p-1, 0x1.09aa572e6c000p-2, 0x1.b50a1e1734342p-44},
    {0x1.8880000000000p-1, 0x1.102ac0a35d000p-2, -0x1.f1fbddfdfd686p-45},
    {0x1.8600000000000p-1, 0x1.16b5ccbad0000p-2, -0x1.23299042d74bfp-44},
    {0x1.8400000000000p-1, 0x1.1bf99635a7000p-2, -0x1.1ac89575c2125p-44},
    {0x1.8180000000000p-1, 0x1.22981fbef8000p-2, -0x1.a1421609580dap-44},
    {0x1.7f80000000000p-1, 0x1.27ebaf58d9000p-2, -0x1.b198800b4bda7p-45},
    {0x1.7d00000000000p-1, 0x1.2e9e2bce12000p-2, 0x1.4300c128d1dc2p-45},
    {0x1.7b00000000000p-1, 0x1.3401e12aed000p-2, -0x1.17c73556e291dp-44},
    {0x1.7880000000000p-1, 0x1.3ac8ca38e6000p-2, -0x1.d0befbc02be4ap-45},
    {0x1.7680000000000p-1, 0x1.403d086cea000p-2, 0x1.e6ef574487308p-44},
    {0x1.7480000000000p-1, 0x1.45b8c0a17e000p-2, -0x1.d9120e7d0a853p-47},
    {0x1.7280000000000p-1, 0x1.4b3c077268000p-2, -0x1.65b4681052b9fp-46},
    {0x1.7000000000000p-1, 0x1.522ae0738a000p-2, 0x1.ebe708164c759p-45},
    {0x1.6e00000000000p-1, 0x1.57bf753c8d000p-2, 0x1.fadedee5d40efp-46},
    {0x1.6c00000000000p-1, 0x1.5d5bddf596000p-2, -0x1.a0b2a08a465dcp-47},
};
}  // namespace detail

namespace {

// lnGamma(2 + t) / t on [-1/4, 1/4], highest power first.
const double lgamma_near_2[16] = {
    -0x1.20495c2b69aefp-19, 0x1.3518a98fb51ccp-18, -0x1.3c6427dbcb33ap-17,
    0x1.57afd4247e819p-16, -0x1.78df6b644a7c3p-15, 0x1.a128d1852220bp-14,
    -0x1.d3fd4ab93bc11p-13, 0x1.0b36ae9976740p-11, -0x1.38ac5c2cb4552p-10,
    0x1.7add6eae7df75p-9, -0x1.e404fc218f19ap-8, 0x1.51322ac7d8235p-6,
    -0x1.13e001a557607p-4, 0x1.4a34cc4a60fa6p-2, 0x1.b0ee6072093cep-2,
    0x1.6cb90701fbfabp-58,   // the rest of the constant term
};
// lnGamma(1.5 + t) on [-1/4, 1/4], highest power first.
const double lgamma_near_1_5[19] = {
    -0x1.186969b521195p-14, 0x1.be9fdf90bd9e6p-14, -0x1.3da2d3196f576p-13,
    0x1.feb18290532aep-13, -0x1.9f0dc6c9dc4dep-12, 0x1.5187f44d6aebfp-11,
    -0x1.148a0ed8d2990p-10, 0x1.c97323e226994p-10, -0x1.7edb81900e449p-9,
    0x1.456f1b22e2cc6p-8, -0x1.1a8ba4f09efb7p-7, 0x1.f9ca39da31e5bp-7,
    -0x1.da59d5374a8f0p-6, 0x1.e0f840dad64c2p-5, -0x1.1ae55b180726cp-3,
    0x1.de9e64df22ef3p-2, 0x1.2aed059bd608ap-5, -0x1.eeb95b094c191p-4,
    -0x1.34100f49f2533p-58,   // the rest of the constant term
};
// Stirling series of lnGamma(x) - ((x - 1/2) ln x - x + ln(2 pi) / 2): B_2k / (2k (2k - 1)) x^(1 - 2k).
const double stirling[10] = {
    0x1.5555555555555p-4, -0x1.6c16c16c16c17p-9, 0x1.a01a01a01a01ap-11,
    -0x1.3813813813814p-11, 0x1.b951e2b18ff23p-11, -0x1.f6ab0d9993c7dp-10,
    0x1.a41a41a41a41ap-8, -0x1.e4286cb0f5398p-6, 0x1.6fe96381e0680p-3,
    -0x1.6476701181f3ap+0,
};
constexpr double half_log_2pi = 0x1.d67f1c864beb5p-1;

// A value as an unevaluated sum of two doubles, |lo| at most about an ulp of hi.
struct parts {
    double hi, lo;
};

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// x with the low 27 bits of its significand cleared: at most 26 significant bits, so that the
// product of two such heads, or of a head and the 27-bit rest, is exact.
double head26(double x) { return from_bits(bits_of(x) & ~std::uint64_t{0x7ffffff}); }

// a * b exactly as head and tail (Dekker), for products far from overflow.
parts exact_product(double a, double b)
{
    const double p = a * b;
    const double ah = head26(a), al = a - ah, bh = head26(b), bl = b - bh;
    return {p, (((ah * bh - p) + ah * bl) + al * bh) + al * bl};
}

// a + b exactly as head and tail (Knuth's two-sum).
parts exact_sum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// ln x as head and tail (|tail| <= an ulp of the head, relative error below 2^-66) for
// positive finite x.
parts log_parts(double x)
{
    const detail::log_reduction<double> r = detail::reduce_for_log(x);
    const parts z = exact_sum(r.z_hi, r.z_lo);
    // z^2 / 2 = a^2/2 + ab + b^2/2 (+ z.hi z.lo) with a the 26-bit head of z.hi; a^2/2 and ab
    // are exact.
    const double a = head26(z.hi), b = z.hi - a;
    const double half_a2 = 0.5 * (a * a);
    const double w = z.hi;
    const double cubic = w * w * w *
        (1.0 / 3 - w * (1.0 / 4 - w * (1.0 / 5 - w * (1.0 / 6 - w * (1.0 / 7 - w * (1.0 / 8 - w * (1.0 / 9)))))));
    // |head| >= |z| unless head = 0, so the first sum is exact as written (Fast2Sum).
    const double s1 = r.head + z.hi;
    const double t1 = (r.head - s1) + z.hi;
    const parts s2 = exact_sum(s1, -half_a2);
    const double lo = t1 + s2.lo + (z.lo - a * b - 0.5 * (b * b) - z.hi * z.lo + cubic + r.tail);
    const double hi = s2.hi + lo;
    return {hi, lo - (hi - s2.hi)};
}

parts sum(parts a, parts b)
{
    const parts s = exact_sum(a.hi, b.hi);
    return {s.hi, s.lo + (a.lo + b.lo)};
}

parts negated(parts a) { return {-a.hi, -a.lo}; }

// c[0] t^n + ... + c[n - 1] t + c[n] with c[n] + c[n + 1] the constant term: the last step
// exact, so that the polynomial is as good as its fit.
parts polynomial(const double* c, int n, double t)
{
    double v = c[0];
    for (int k = 1; k < n; ++k) v = v * t + c[k];
    const parts tv = exact_product(t, v);
    const parts s = exact_sum(c[n], tv.hi);
    return {s.hi, s.lo + (tv.lo + c[n + 1])};
}

// lnGamma(2 + t) and lnGamma(1.5 + t) for |t| <= 1/4.
parts lgamma_2(double t)
{
    const parts q = polynomial(lgamma_near_2, 14, t);
    const parts p = exact_product(t, q.hi);
    return {p.hi, p.lo + t * q.lo};
}
parts lgamma_1_5(double t) { return polynomial(lgamma_near_1_5, 17, t); }

// ln(1 + x) for |x| <= 1/4: 1 + x as head and exact tail.
parts log1p_small(double x)
{
    const double u = 1.0 + x;
    const double du = (1.0 - u) + x;
    const parts l = log_parts(u);
    return {l.hi, l.lo + du / u};
}

// lnGamma for x in [2.25, 8): lnGamma(y) + ln((y)(y + 1)...(x - 1)) with y = x - n in
// [1.25, 2.25); the factors are exact and their product is kept as head and tail.
double lgamma_by_recurrence(double x)
{
    const double n = std::floor(x - 1.25);
    const double y = x - n;
    parts product{y, 0.0};
    for (double f = y + 1; f < x; f += 1) {
        const parts p = exact_product(product.hi, f);
        product = {p.hi, p.lo + product.lo * f};
    }
    const parts l = log_parts(product.hi);
    const parts g = y < 1.75 ? lgamma_1_5(y - 1.5) : lgamma_2(y - 2);
    const parts s = sum(g, {l.hi, l.lo + product.lo / product.hi});
    return s.hi + s.lo;
}

// lnGamma for x >= 8: x ln x - x + (ln(2 pi) - ln x)/2 + series, x ln x - x as head and tail.
// Above 2^1000 it is formed for x 2^-64 and scaled back, so that the exact product stays finite.
double lgamma_stirling(double x)
{
    const double f = x > 0x1p1000 ? 0x1p-64 : 1.0;
    const double xs = x * f;
    const parts l = log_parts(x);
    const parts p = exact_product(xs, l.hi);
    const double s = p.hi - xs;
    const double se = (p.hi - s) - xs;
    const double z = 1.0 / x, w = z * z;
    double series = stirling[9];
    for (int k = 8; k >= 0; --k) series = series * w + stirling[k];
    return (s + (se + p.lo + (xs - 0.5 * f) * l.lo + f * ((half_log_2pi - 0.5 * l.hi) + z * series))) / f;
}

}  // namespace

double exp(double x) { return exp_lanes(x, 0.0); }

double log(double x)
{
    if (!(x > 0) || x == infinity) return x == 0 ? -infinity : x == infinity ? infinity : not_a_number;
    return log_lanes(x);
}

double pow(double x, double y)
{
    if (y == 0 || x == 1) return 1;
    if (std::isnan(x) || std::isnan(y) || x < 0) return not_a_number;
    if (x == 0) return y > 0 ? 0 : infinity;
    if (x == infinity) return y > 0 ? infinity : 0;
    const parts l = log_parts(x);
    const double p = y * l.hi;
    // Beyond 746 in size the result is 0 or infinity (also for infinite y).
    if (!(std::fabs(p) < 746)) return exp_lanes(p, 0.0);
    const parts q = exact_product(y, l.hi);
    return exp_lanes(q.hi, q.lo + y * l.lo);
}

namespace {

double lgamma_computed(double x)
{
    if (!(x > 0) || x == infinity) return x == 0 || x == infinity ? infinity : not_a_number;
    parts g;
    if (x < 0.25) {   // lnGamma(2 + x) - ln(1 + x) - ln x
        g = sum(sum(lgamma_2(x), negated(log1p_small(x))), negated(log_parts(x)));
    } else if (x < 1.25) {   // lnGamma(1 + x) - ln x
        g = sum(x < 0.75 ? lgamma_1_5(x - 0.5) : lgamma_2(x - 1), negated(log_parts(x)));
    } else if (x < 2.25) {
        g = x < 1.75 ? lgamma_1_5(x - 1.5) : lgamma_2(x - 2);
    } else {
        return x < 8 ? lgamma_by_recurrence(x) : lgamma_stirling(x);
    }
    return g.hi + g.lo;
}

}  // namespace

double lgamma(double x)
{
    // The same shapes come back again and again (fixed priors, the old value of a rejected
    // move): the last value computed for an argument is kept in one of 1024 slots chosen by
    // its bits, per thread. Empty slots hold the bits of +0, so +0 is always computed.
    struct kept {
        std::uint64_t bits;
        double value;
    };
    static thread_local kept slots[1024] = {};
    const std::uint64_t b = bits_of(x);
    kept& k = slots[(b * 0x9e3779b97f4a7c15ULL) >> 54];
    if (k.bits != b || b == 0) k = {b, lgamma_computed(x)};
    return k.value;
}

}  // namespace portable
